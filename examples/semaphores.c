/* Waits for each host semaphore named on the command line (3 when none). */
#include <stdlib.h>

#include "veltra_target.h"

static int WaitFor(const char* text) {
  char* end = NULL;
  long n = strtol(text, &end, 10);
  if (end == text || *end != '\0' || n < 0 || n > 9) {
    vt_eprintf("semaphores: \"%s\" is not a host semaphore (0 to 9)\n", text);
    return 2;
  }
  vt_printf("waiting for host semaphore %ld\n", n);
  vt_wait_semaphore((int)n);
  vt_printf("got host semaphore %ld\n", n);
  return 0;
}

static int Semaphores(int argc, char** argv) {
  if (argc < 2) return WaitFor("3");
  for (int i = 1; i < argc; ++i) {
    int status = WaitFor(argv[i]);
    if (status != 0) return status;
  }
  return 0;
}

VT_MAIN(Semaphores)
