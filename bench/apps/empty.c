/* An application that does nothing: what a run costs beyond the work of its
 * application. Its three requests are those of every application (the
 * command line, the exit status, the end of the task). */
#define _POSIX_C_SOURCE 200809L

#include "bench_app.h"

static int app(int argc, char** argv) {
  (void)argc;
  (void)argv;
  return 0;
}

VT_MAIN(app)
