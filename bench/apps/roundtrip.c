/* Small requests that the server answers at once.
 *   roundtrip echo COUNT     core echo (1/4) of an empty string
 *   roundtrip time COUNT     Basalt time (0/28)
 *   roundtrip steady COUNT EVERY
 *                            echo requests with a line "mark" on standard
 *                            output before the first and after every EVERY,
 *                            so the host can sample itself at known points */
#define _POSIX_C_SOURCE 200809L

#include <string.h>

#include "bench_app.h"

static int Echo(void) {
  uint32_t got = 0;
  return vt_core_echo("", 0, NULL, 0, &got);
}

static int Time(void) {
  uint32_t seconds = 0;
  return vt_basalt_time(&seconds);
}

static int Loop(int (*request)(void), long count) {
  for (long i = 0; i < count; ++i) {
    int result = request();
    if (result != VT_OK) {
      vt_eprintf("request %ld failed with result %d\n", i, result);
      return 1;
    }
  }
  return 0;
}

static int app(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "echo";
  long count = bench_count(argc, argv, 2, 100000);
  if (strcmp(mode, "steady") == 0) {
    long every = bench_count(argc, argv, 3, 100000);
    if (Loop(Echo, bench_warm_up(count))) return 1;
    vt_printf("mark\n");
    long long start = bench_now_ns();
    for (long done = 0; done < count; done += every) {
      if (Loop(Echo, every)) return 1;
      vt_printf("mark\n");
    }
    bench_report("steady", count, bench_now_ns() - start, bench_warm_up(count) + count + count / every + 1);
    return 0;
  }
  int (*request)(void) = strcmp(mode, "time") == 0 ? Time : Echo;
  if (Loop(request, bench_warm_up(count))) return 1;
  long long start = bench_now_ns();
  if (Loop(request, count)) return 1;
  bench_report(mode, count, bench_now_ns() - start, bench_warm_up(count) + count);
  return 0;
}

VT_MAIN(app)
