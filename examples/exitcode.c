/* Ends with the status given as the first argument (3 when none). */
#include <stdlib.h>

#include "veltra_target.h"

static int ExitCode(int argc, char** argv) {
  int status = 3;
  if (argc > 1) {
    char* end = NULL;
    long value = strtol(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0') {
      vt_eprintf("exitcode: \"%s\" is not a number\n", argv[1]);
      return 2;
    }
    status = (int)value;
  }
  vt_printf("exiting with %d\n", status);
  return status;
}

VT_MAIN(ExitCode)
