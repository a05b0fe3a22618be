/* spectrum: the spectrum of a test signal, computed here on the DSP and
 * streamed to a graph on the host at a steady rate until the run is stopped.
 *
 * The signal is three tones in white noise (one of them sweeping slowly),
 * sampled at 48 kHz. Each frame takes 2048 samples, applies a Hann window,
 * transforms them and sends the 1024 levels from 0 Hz to 24 kHz in dB
 * relative to a full-scale sine.
 *
 * Arguments: [FRAMES [FRAMES_PER_SECOND]]; FRAMES 0 (the default) runs until
 * stopped, at 20 frames a second unless told otherwise. */
#define _POSIX_C_SOURCE 200809L

#include <math.h>
#include <stdlib.h>
#include <time.h>

#include "veltra_target.h"

#define GRAPH VT_CLUSTER_GRAPH
#define SIZE 2048
#define BINS (SIZE / 2)
#define RATE 48000.0

static const double kPi = 3.14159265358979323846;

static double re[SIZE], im[SIZE], window[SIZE], levels[BINS];
static uint32_t noiseState = 12345u;

/* Uniform in [-1, 1): a xorshift generator, the same on every run. */
static double Noise(void) {
  noiseState ^= noiseState << 13;
  noiseState ^= noiseState >> 17;
  noiseState ^= noiseState << 5;
  return noiseState / 2147483648.0 - 1.0;
}

/* In-place radix-2 transform of re/im. */
static void Transform(void) {
  for (int i = 1, j = 0; i < SIZE; ++i) {
    int bit = SIZE >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      double t = re[i];
      re[i] = re[j];
      re[j] = t;
      t = im[i];
      im[i] = im[j];
      im[j] = t;
    }
  }
  for (int length = 2; length <= SIZE; length <<= 1) {
    double angle = -2 * kPi / length;
    for (int start = 0; start < SIZE; start += length) {
      for (int k = 0; k < length / 2; ++k) {
        double wr = cos(angle * k), wi = sin(angle * k);
        int a = start + k, b = a + length / 2;
        double xr = re[b] * wr - im[b] * wi, xi = re[b] * wi + im[b] * wr;
        re[b] = re[a] - xr;
        im[b] = im[a] - xi;
        re[a] += xr;
        im[a] += xi;
      }
    }
  }
}

static void Frame(long frame, double* phase) {
  /* The sweeping tone goes from 2 kHz to 20 kHz and back in 400 frames. */
  double sweep = 2000.0 + 18000.0 * (0.5 - 0.5 * cos(2 * kPi * (frame % 400) / 400.0));
  const double frequencies[3] = {1000.0, 7500.0, sweep};
  const double amplitudes[3] = {0.5, 0.05, 0.1}; /* -6, -26 and -20 dB */
  for (int n = 0; n < SIZE; ++n) {
    double x = 0.001 * Noise();
    for (int t = 0; t < 3; ++t) x += amplitudes[t] * sin(phase[t] + 2 * kPi * frequencies[t] * n / RATE);
    re[n] = x * window[n];
    im[n] = 0;
  }
  for (int t = 0; t < 3; ++t) phase[t] = fmod(phase[t] + 2 * kPi * frequencies[t] * SIZE / RATE, 2 * kPi);
  Transform();
  /* A full-scale sine reads 0 dB: its peak is SIZE/4 after the Hann window. */
  for (int k = 0; k < BINS; ++k) {
    double magnitude = sqrt(re[k] * re[k] + im[k] * im[k]) / (SIZE / 4.0);
    levels[k] = 20 * log10(magnitude + 1e-12);
  }
}

static int App(int argc, char** argv) {
  long frames = argc > 1 ? atol(argv[1]) : 0;
  double rate = argc > 2 ? atof(argv[2]) : 20.0;
  if (rate <= 0) rate = 20.0;
  for (int n = 0; n < SIZE; ++n) window[n] = 0.5 - 0.5 * cos(2 * kPi * n / SIZE);

  int32_t graph = vt_graph_open(GRAPH, "Spectrum", BINS);
  if (graph < 0x100) {
    vt_printf("spectrum: the host refused the graph (%d)\n", (int)graph);
    return 1;
  }
  vt_graph_set_title(GRAPH, graph, "Spectrum of three tones in noise");
  vt_graph_set_x_title(GRAPH, graph, "Frequency", "Hz");
  vt_graph_set_y_title(GRAPH, graph, "Level", "dB");
  /* The physical range is that of the values: the levels map onto the
     Y axis one to one. */
  vt_graph_set_axis_ranges_phis(GRAPH, graph, 0, BINS, -120, 130);
  vt_graph_set_axis_ranges_user(GRAPH, graph, 0, RATE / 2, -120, 130);
  vt_printf("spectrum: streaming %s at %g frames a second\n", frames ? "frames" : "until stopped", rate);

  double phase[3] = {0, 0, 0};
  struct timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  long period = (long)(1e9 / rate);
  for (long frame = 0; frames == 0 || frame < frames; ++frame) {
    Frame(frame, phase);
    vt_graph_append(GRAPH, graph, levels, BINS);
    vt_graph_show(GRAPH, graph);
    /* A steady rate: wait for the frame's time, not a fixed pause. */
    next.tv_nsec += period;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
    vt_graph_pump(GRAPH);
  }
  vt_graph_close(GRAPH, graph);
  vt_printf("spectrum: %ld frames shown\n", frames);
  return 0;
}

VT_MAIN(App)
