#include "bench/MemoryProbe.h"

#include "tests/support/CountingAllocator.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace veltra::bench {

long ResidentKilobytes() {
  // Plain reads into a fixed buffer: this runs between requests while
  // allocations are being counted.
  int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[4096];
  ssize_t size = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (size <= 0) return -1;
  text[size] = '\0';
  const char* line = std::strstr(text, "VmRSS:");
  return line ? std::strtol(line + 6, nullptr, 10) : -1;
}

long AllocationCount() {
  return CountedAllocations();
}

}  // namespace veltra::bench
