/* Shows the command line the server hands over: program name, arguments as
   split by the run-time, and their count. */
#include "veltra_target.h"

static int Args(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) vt_printf("argv[%d]=%s\n", i, argv[i]);
  vt_printf("argc=%d\n", argc);
  return 0;
}

VT_MAIN(Args)
