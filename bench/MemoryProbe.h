// What the benchmark process holds: its resident size, and a count of every
// global operator new made in it (the server's thread included), kept by
// this executable's replacements of the allocation operators.
#pragma once

namespace veltra::bench {

// VmRSS of /proc/self/status in kilobytes, or -1.
long ResidentKilobytes();
// Allocations through operator new since the process started.
long AllocationCount();

}  // namespace veltra::bench
