/* Shared by the benchmark applications: the clock and the report of a timed
 * loop. The report goes to the file named by VELTRA_BENCH_TIMES with plain
 * stdio, not over the link, so it adds no traffic to what is measured. */
#ifndef VELTRA_BENCH_APP_H
#define VELTRA_BENCH_APP_H

#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include "veltra_target.h"

static inline long long bench_now_ns(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

/* Appends "phase count nanoseconds cpu requests" to the report file: the
   timed loop of count requests, the processor time this process has used so
   far in microseconds, and the requests it has made in all (so the host can
   tell its own share of a run's processor time). */
static inline void bench_report(const char* phase, long count, long long ns, long requests) {
  const char* path = getenv("VELTRA_BENCH_TIMES");
  if (path == NULL || *path == '\0') return;
  struct rusage usage;
  long long cpu = 0;
  if (getrusage(RUSAGE_SELF, &usage) == 0)
    cpu = (long long)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
          usage.ru_stime.tv_usec;
  FILE* file = fopen(path, "a");
  if (file == NULL) return;
  fprintf(file, "%s %ld %lld %lld %ld\n", phase, count, ns, cpu, requests);
  fclose(file);
}

/* A positive count from argv[index], or fallback when absent. */
static inline long bench_count(int argc, char** argv, int index, long fallback) {
  if (argc <= index) return fallback;
  long n = strtol(argv[index], NULL, 10);
  return n > 0 ? n : fallback;
}

/* Requests before the clock starts: connections, caches and the server's
   first-use allocations settle. */
static inline long bench_warm_up(long count) {
  long n = count / 20;
  return n < 200 ? 200 : n;
}

#endif
