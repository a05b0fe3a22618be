// What every veltra-run pays before its server does anything: the process
// started with the same libraries, the four that a run loads by name loaded
// the same way, and ended. Its time over the bare application is the least
// that a run can add with this library layout; the start-up figure reports it
// beside the run's own.
#include <cstdio>

#include "platform/DynamicLibrary.h"

int main() {
  // In the order a run loads them: the engine, which loads the options and
  // link managers, which loads the simulator.
  const char* const names[] = {"Orvcore.dll", "Prefbook.dll", "Wirehub.dll", "Simulator_Orv.dll"};
  for (const char* name : names) {
    veltra::DynamicLibrary library;
    if (!library.Load(name, false)) {
      std::fprintf(stderr, "veltra-bench-floor: %s\n", library.Error().c_str());
      return 1;
    }
    // Kept loaded, as a run keeps them until it ends.
    library.Detach();
  }
  return 0;
}
