/* console COUNT: COUNT short lines on standard output, one request each as
 * the run-time sends them, after 200 lines of warm-up. */
#define _POSIX_C_SOURCE 200809L

#include "bench_app.h"

static int app(int argc, char** argv) {
  long count = bench_count(argc, argv, 1, 1000000);
  const long warm = 200;
  long long start = 0;
  for (long i = 0; i < warm + count; ++i) {
    if (i == warm) start = bench_now_ns();
    if (vt_printf("line %07ld of the console test\n", i) < 0) {
      vt_eprintf("line %ld was not written: result %d\n", i, (int)vt_last_result());
      return 1;
    }
  }
  bench_report("console", count, bench_now_ns() - start, warm + count);
  return 0;
}

VT_MAIN(app)
