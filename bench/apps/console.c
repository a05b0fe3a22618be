/* console COUNT [MODE]: COUNT short lines on standard output after 200 lines
 * of warm-up. MODE is the buffering of standard output: "none" (the default:
 * one write request per line), "line" or "full" (one request per 4096 bytes;
 * what is left goes at the end of the task). */
#define _POSIX_C_SOURCE 200809L

#include <string.h>

#include "bench_app.h"

static int app(int argc, char** argv) {
  long count = bench_count(argc, argv, 1, 1000000);
  const char* mode = argc > 2 ? argv[2] : "none";
  int buffering = strcmp(mode, "full") == 0 ? VT_IOFBF : strcmp(mode, "line") == 0 ? VT_IOLBF : VT_IONBF;
  if (vt_setvbuf(vt_stdout(), buffering, 0) != VT_OK) {
    vt_eprintf("cannot set the buffering of standard output: result %d\n", (int)vt_last_result());
    return 1;
  }
  const long warm = 200;
  long long start = 0;
  for (long i = 0; i < warm + count; ++i) {
    if (i == warm) start = bench_now_ns();
    if (vt_printf("line %07ld of the console test\n", i) < 0) {
      vt_eprintf("line %ld was not written: result %d\n", i, (int)vt_last_result());
      return 1;
    }
  }
  /* What the buffer still holds is part of the work. */
  if (vt_fflush(vt_stdout()) != VT_OK) return 1;
  long long elapsed = bench_now_ns() - start;
  long requests = buffering == VT_IOFBF ? (warm + count) * 32 / 4096 + 1 : warm + count;
  bench_report("console", count, elapsed, requests);
  return 0;
}

VT_MAIN(app)
