/* Tries the graph services as a DSP application would and prints every
 * result word. Modes (argument 1):
 *   edges   probe, a 1024-sample set in three requests, the next set from the
 *           start, titles, refused requests, two graphs of one name left open,
 *           then service 11, which ends the run;
 *   values  one graph "values" of N (argument 2) samples, value k = sin(k/7)*k,
 *           shown and left open;
 *   qt      whether the serving process (this one's parent) has Qt loaded,
 *           before and after opening a graph. */
#define _POSIX_C_SOURCE 200809L

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "veltra_target.h"

#define GRAPH VT_CLUSTER_GRAPH

static int Probe(uint32_t cluster, uint32_t service) {
  vt_begin(cluster, service, 0);
  return vt_call();
}

static void Edges(void) {
  static double samples[1024];
  for (int k = 0; k < 1024; ++k) samples[k] = k * 0.25 - 50;
  vt_printf("probe %d\n", Probe(GRAPH, 0));
  int32_t graph = vt_graph_open(GRAPH, "split", 1024);
  vt_printf("open %s\n", graph >= 0x100 ? "handle" : "refused");
  /* One call per statement: the order of a call's arguments is not fixed. */
  int32_t r1 = vt_graph_append(GRAPH, graph, samples, 400);
  int32_t r2 = vt_graph_append(GRAPH, graph, samples + 400, 400);
  int32_t r3 = vt_graph_append(GRAPH, graph, samples + 800, 224);
  vt_printf("append %d %d %d\n", r1, r2, r3);
  vt_printf("show %d\n", vt_graph_show(GRAPH, graph));
  double next[3] = {1000, 1001, 1002};
  vt_printf("append %d\n", vt_graph_append(GRAPH, graph, next, 3));
  vt_printf("past %d\n", vt_graph_append(GRAPH, graph, samples, 1022));
  vt_printf("show %d\n", vt_graph_show(GRAPH, graph));
  vt_printf("titles %d %d %d\n", vt_graph_set_x_title(GRAPH, graph, "Frequency", "Hz"),
            vt_graph_set_y_title(GRAPH, graph, "Level", "dB"), vt_graph_set_title(GRAPH, graph, "Split set"));
  vt_printf("ranges %d %d\n", vt_graph_set_axis_ranges_phis(GRAPH, graph, 0, 1024, 0, 1024),
            vt_graph_set_axis_ranges_user(GRAPH, graph, 0, 1024, -60, 300));
  vt_printf("pump %d\n", vt_graph_pump(GRAPH));
  vt_printf("zero %d\n", vt_graph_open(GRAPH, "zero", 0));
  vt_printf("foreign %d %d\n", vt_graph_show(GRAPH, 12345), vt_graph_close(GRAPH, 0x7fff0000));

  int32_t a = vt_graph_open(GRAPH, "twin", 2);
  int32_t b = vt_graph_open(GRAPH, "twin", 2);
  double one[2] = {1, 2}, two[2] = {3, 4};
  r1 = vt_graph_append(GRAPH, a, one, 2);
  r2 = vt_graph_append(GRAPH, b, two, 2);
  r3 = vt_graph_show(GRAPH, a);
  int32_t r4 = vt_graph_show(GRAPH, b);
  vt_printf("twins %d %d %d %d\n", r1, r2, r3, r4);
  int32_t closed = vt_graph_open(GRAPH, "closed", 2);
  r1 = vt_graph_close(GRAPH, closed);
  r2 = vt_graph_close(GRAPH, closed);
  vt_printf("closed %d %d\n", r1, r2);
  vt_printf("beyond\n");
  vt_printf("never %d\n", Probe(GRAPH, 11));
}

static void Values(int n) {
  double* samples = malloc(sizeof(double) * (size_t)n);
  for (int k = 0; k < n; ++k) samples[k] = sin(k / 7.0) * k;
  int32_t graph = vt_graph_open(GRAPH, "values", n);
  vt_printf("append %d\n", vt_graph_append(GRAPH, graph, samples, (uint32_t)n));
  vt_graph_set_axis_ranges_phis(GRAPH, graph, 0, n, -n, 2.0 * n);
  vt_graph_set_axis_ranges_user(GRAPH, graph, 0, n, -n, 2.0 * n);
  vt_printf("show %d\n", vt_graph_show(GRAPH, graph));
  free(samples);
}

/* Whether the parent process has a Qt library mapped. */
static const char* ParentHasQt(void) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/maps", (int)getppid());
  FILE* maps = fopen(path, "r");
  if (!maps) return "unknown";
  char line[512];
  int found = 0;
  while (!found && fgets(line, sizeof line, maps)) found = strstr(line, "libQt6") != NULL;
  fclose(maps);
  return found ? "yes" : "no";
}

static void Qt(void) {
  vt_printf("before %s\n", ParentHasQt());
  int32_t graph = vt_graph_open(GRAPH, "qt", 4);
  vt_printf("after %s\n", ParentHasQt());
  vt_graph_close(GRAPH, graph);
}

static int App(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "edges") == 0) Edges();
  if (argc > 2 && strcmp(argv[1], "values") == 0) Values(atoi(argv[2]));
  if (argc > 1 && strcmp(argv[1], "qt") == 0) Qt();
  return 0;
}

VT_MAIN(App)
