/* waveforms: several graphs at once. Opens four graphs (sine, square,
 * sawtooth, and the level histogram of noise), shows a moving frame in each
 * FRAMES times (argument 1, 50 by default) at 10 frames a second, then closes
 * them. */
#define _POSIX_C_SOURCE 200809L

#include <math.h>
#include <stdlib.h>
#include <time.h>

#include "veltra_target.h"

#define GRAPH VT_CLUSTER_GRAPH
#define POINTS 512
#define GRAPHS 4

static const double kPi = 3.14159265358979323846;

static double Shape(int graph, double x) {
  double cycle = x - floor(x);
  switch (graph) {
    case 0:
      return sin(2 * kPi * x);
    case 1:
      return cycle < 0.5 ? 1 : -1;
    default:
      return 2 * cycle - 1;
  }
}

static int App(int argc, char** argv) {
  long frames = argc > 1 ? atol(argv[1]) : 50;
  const char* names[GRAPHS] = {"Sine", "Square", "Sawtooth", "Histogram"};
  int32_t graphs[GRAPHS];
  static double points[POINTS];
  for (int g = 0; g < GRAPHS; ++g) {
    graphs[g] = vt_graph_open(GRAPH, names[g], POINTS);
    vt_graph_set_title(GRAPH, graphs[g], names[g]);
    if (g < 3) {
      vt_graph_set_x_title(GRAPH, graphs[g], "Time", "samples");
      vt_graph_set_y_title(GRAPH, graphs[g], "Value", "");
      /* Values and axis alike from -1.5 to 1.5. */
      vt_graph_set_axis_ranges_phis(GRAPH, graphs[g], 0, POINTS, -1.5, 3);
      vt_graph_set_axis_ranges_user(GRAPH, graphs[g], 0, POINTS, -1.5, 3);
    } else {
      vt_graph_set_x_title(GRAPH, graphs[g], "Level", "bin");
      vt_graph_set_y_title(GRAPH, graphs[g], "Count", "");
      vt_graph_set_axis_ranges_phis(GRAPH, graphs[g], 0, POINTS, 0, 200);
      vt_graph_set_axis_ranges_user(GRAPH, graphs[g], 0, POINTS, 0, 200);
    }
  }
  uint32_t state = 1u;
  for (long frame = 0; frame < frames; ++frame) {
    for (int g = 0; g < 3; ++g) {
      for (int k = 0; k < POINTS; ++k) points[k] = Shape(g, (k + 8.0 * frame) / 128.0);
      vt_graph_append(GRAPH, graphs[g], points, POINTS);
      vt_graph_show(GRAPH, graphs[g]);
    }
    /* Sums of four uniform numbers, counted into bins: a histogram that
       grows towards a bell curve. */
    static double histogram[POINTS];
    for (int n = 0; n < 2000; ++n) {
      double sum = 0;
      for (int i = 0; i < 4; ++i) {
        state = state * 1664525u + 1013904223u;
        sum += state / 4294967296.0;
      }
      int bin = (int)(sum / 4.0 * POINTS);
      if (bin >= 0 && bin < POINTS) histogram[bin] += 1.0;
    }
    for (int k = 0; k < POINTS; ++k) points[k] = histogram[k] / (frame + 1.0) * 10;
    vt_graph_append(GRAPH, graphs[3], points, POINTS);
    vt_graph_show(GRAPH, graphs[3]);
    struct timespec pause = {0, 100000000L};
    nanosleep(&pause, NULL);
    vt_graph_pump(GRAPH);
  }
  for (int g = 0; g < GRAPHS; ++g) vt_graph_close(GRAPH, graphs[g]);
  vt_printf("waveforms: %ld frames in %d graphs\n", frames, GRAPHS);
  return 0;
}

VT_MAIN(App)
