/* An application that does nothing: what a run costs beyond the work of its
 * application. Its three requests are those of every application (the
 * command line, the exit status, the end of the task). It reports when it
 * began (before main) and when its own work ended, on the monotonic clock,
 * so that the host can split a run's time into start and end. */
#define _POSIX_C_SOURCE 200809L

#include "bench_app.h"

static long long begun;

__attribute__((constructor)) static void Begin(void) {
  begun = bench_now_ns();
}

static int app(int argc, char** argv) {
  (void)argc;
  (void)argv;
  /* Reported before the exit requests: they are part of the end. */
  bench_report("begun", 1, begun, 0);
  bench_report("ended", 1, bench_now_ns(), 0);
  return 0;
}

VT_MAIN(app)
