/* 4096-byte transfers.
 *   bulk write COUNT FILE    Basalt write (0/13) of COUNT blocks to a new host file
 *   bulk source COUNT        core source (1/6): COUNT replies of 4096 bytes */
#define _POSIX_C_SOURCE 200809L

#include <string.h>

#include "bench_app.h"

#define BLOCK 4096u

static uint8_t data[BLOCK];

static int Write(vt_file* file) {
  uint32_t written = 0;
  int result = vt_basalt_write(vt_fhandle(file), data, BLOCK, &written);
  return result == VT_OK && written == BLOCK ? VT_OK : (result != VT_OK ? result : VT_FAILURE);
}

static int Source(void) {
  uint32_t got = 0;
  int result = vt_core_source(BLOCK, data, BLOCK, &got);
  return result == VT_OK && got == BLOCK ? VT_OK : (result != VT_OK ? result : VT_FAILURE);
}

static int app(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "source";
  long count = bench_count(argc, argv, 2, 10000);
  long warm = bench_warm_up(count);
  for (unsigned i = 0; i < BLOCK; ++i) data[i] = (uint8_t)(i * 7u + 1u);
  if (strcmp(mode, "write") == 0) {
    if (argc < 4) {
      vt_eprintf("bulk write needs COUNT and FILE\n");
      return 2;
    }
    vt_file* file = vt_fopen(argv[3], VT_REC_BINARY, VT_WRITE, VT_CREATE, 0);
    if (file == NULL) {
      vt_eprintf("cannot create %s: result %d\n", argv[3], (int)vt_last_result());
      return 1;
    }
    long long start = 0;
    for (long i = 0; i < warm + count; ++i) {
      if (i == warm) start = bench_now_ns();
      int result = Write(file);
      if (result != VT_OK) {
        vt_eprintf("write %ld failed with result %d\n", i, result);
        return 1;
      }
    }
    long long elapsed = bench_now_ns() - start;
    if (vt_fclose(file) != VT_OK) return 1;
    bench_report("write", count, elapsed, warm + count);
    return 0;
  }
  long long start = 0;
  for (long i = 0; i < warm + count; ++i) {
    if (i == warm) start = bench_now_ns();
    int result = Source();
    if (result != VT_OK) {
      vt_eprintf("source %ld failed with result %d\n", i, result);
      return 1;
    }
  }
  bench_report("source", count, bench_now_ns() - start, warm + count);
  return 0;
}

VT_MAIN(app)
