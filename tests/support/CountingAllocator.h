// A count of every global operator new made in the process, kept by the
// replacements of the allocation operators in CountingAllocator.cpp; an
// executable that calls CountedAllocations links them in.
#pragma once

namespace veltra {

// Allocations through operator new since the process started.
long CountedAllocations();

}  // namespace veltra
