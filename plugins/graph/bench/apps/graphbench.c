/* The graph cluster under load, timed on the DSP side. Prints one line
 * "MODE COUNT NANOSECONDS" after the timed loop.
 *   show N     N data sets of 1024 points: one AppendData and one Show each
 *   append N   N AppendData requests of 1034 samples (a Show every 64 rewinds)
 *   sink N     N core sink requests of 4096 bytes, for comparison */
#define _POSIX_C_SOURCE 200809L

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "veltra_target.h"

#define GRAPH VT_CLUSTER_GRAPH

static long long Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static double samples[64 * VT_GRAPH_APPEND_MAX];

static int App(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "show";
  long count = argc > 2 ? atol(argv[2]) : 1000;
  for (int k = 0; k < 64 * (int)VT_GRAPH_APPEND_MAX; ++k) samples[k] = (k % 1024) * 0.1 - 50;
  int32_t graph = vt_graph_open(GRAPH, "bench", 64 * VT_GRAPH_APPEND_MAX);
  vt_graph_set_axis_ranges_phis(GRAPH, graph, 0, 1024, -60, 120);
  vt_graph_set_axis_ranges_user(GRAPH, graph, 0, 1024, -60, 120);
  long long start = 0;
  long warm = count / 10 + 1;
  for (long i = 0; i < warm + count; ++i) {
    if (i == warm) start = Now();
    int32_t result = VT_OK;
    if (strcmp(mode, "show") == 0) {
      result = vt_graph_append(GRAPH, graph, samples, 1024);
      if (result == VT_OK) result = vt_graph_show(GRAPH, graph);
    } else if (strcmp(mode, "append") == 0) {
      result = vt_graph_append(GRAPH, graph, samples + (i % 64) * VT_GRAPH_APPEND_MAX, VT_GRAPH_APPEND_MAX);
      if (result == VT_OK && i % 64 == 63) result = vt_graph_show(GRAPH, graph);
    } else {
      /* The largest sink the server takes (its transfer buffer). */
      result = vt_core_sink(samples, VT_TRANSFER_MAX);
    }
    if (result != VT_OK) {
      vt_printf("request %ld failed: %d\n", i, (int)result);
      return 1;
    }
  }
  long long elapsed = Now() - start;
  vt_printf("%s %ld %lld\n", mode, count, elapsed);
  return 0;
}

VT_MAIN(App)
