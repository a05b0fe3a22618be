/* The smallest application: one line on the standard output. */
#include "veltra_target.h"

static int Hello(int argc, char** argv) {
  (void)argc;
  (void)argv;
  vt_printf("Hello from the Veltra DSP network!\n");
  return 0;
}

VT_MAIN(Hello)
