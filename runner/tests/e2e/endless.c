/* Numbered lines on standard output until the run is ended from outside; it
 * gives up by itself after 60 seconds so that a broken test cannot leave it
 * running. */
#include <time.h>

#include "veltra_target.h"

static int Endless(int argc, char** argv) {
  (void)argc;
  (void)argv;
  time_t end = time(NULL) + 60;
  for (unsigned long i = 0; time(NULL) < end; ++i) vt_printf("line %lu\n", i);
  return 0;
}

VT_MAIN(Endless)
