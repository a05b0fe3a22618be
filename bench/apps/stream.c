/* Streaming samples into a graph (cluster 0x301): AppendData requests of
 * 1034 samples, 8272 bytes each, the largest that fit one request block.
 *   stream COUNT
 * The graph holds 64 requests' samples; every 64th request is followed by a
 * Show, which starts the next data set at the buffer's start. The clock
 * stops around each Show, so the figure is AppendData's alone (Show has its
 * own figure). */
#define _POSIX_C_SOURCE 200809L

#include "bench_app.h"

#define SETS 64

static double samples[SETS * VT_GRAPH_APPEND_MAX];

static int app(int argc, char** argv) {
  long count = bench_count(argc, argv, 1, 5000);
  long warm = bench_warm_up(count);
  for (unsigned k = 0; k < SETS * VT_GRAPH_APPEND_MAX; ++k) samples[k] = (k % 1024) * 0.1 - 50;
  int32_t graph = vt_graph_open(VT_CLUSTER_GRAPH, "stream", SETS * VT_GRAPH_APPEND_MAX);
  if (graph <= 0 || graph == VT_FAILURE) {
    vt_eprintf("the graph could not be opened: %d\n", (int)graph);
    return 1;
  }
  long long start = 0;
  for (long i = 0; i < warm + count; ++i) {
    if (i == warm) start = bench_now_ns();
    int32_t result = vt_graph_append(VT_CLUSTER_GRAPH, graph, samples + (i % SETS) * VT_GRAPH_APPEND_MAX,
                                     VT_GRAPH_APPEND_MAX);
    if (result == VT_OK && i % SETS == SETS - 1) {
      long long paused = bench_now_ns();
      result = vt_graph_show(VT_CLUSTER_GRAPH, graph);
      if (i >= warm) start += bench_now_ns() - paused;
    }
    if (result != VT_OK) {
      vt_eprintf("request %ld failed with result %d\n", i, (int)result);
      return 1;
    }
  }
  long long elapsed = bench_now_ns() - start;
  /* Requests made in all: the open, the AppendData requests and the Shows. */
  bench_report("stream", count, elapsed, 1 + warm + count + (warm + count) / SETS);
  if (vt_graph_close(VT_CLUSTER_GRAPH, graph) != VT_OK) return 1;
  return 0;
}

VT_MAIN(app)
