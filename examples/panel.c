/* A signal generator with a spectrum display: the tone's frequency and
 * amplitude follow the sliders of the input window, its spectrum is shown in a
 * graph, and the status window tells the tone. "Terminate" in the status
 * window, or closing the input window, ends it.
 *
 *   panel.app [FRAMES]   stop after FRAMES spectra as well (for runs nobody
 *                        watches, such as veltra-run)
 *
 * Graph and panels both come from the combined plug-in, cluster 0x300. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "veltra_target.h"

#define CLUSTER VT_CLUSTER_COMBINED
#define SAMPLES 512
#define BINS (SAMPLES / 2)
#define RATE_HZ 48000.0
#define FLOOR_DB -120.0

static const double kPi = 3.14159265358979323846;

/* The tone as the converter would give it: a Hann-windowed sine with a
   little noise, so that the floor of the spectrum is not empty. */
static void MakeSignal(double* signal, double frequency, double amplitude, unsigned* seed) {
  for (int k = 0; k < SAMPLES; ++k) {
    *seed = *seed * 1103515245u + 12345u;
    double noise = ((double)((*seed >> 16) & 0x7fff) / 32768.0 - 0.5) * 1e-4;
    double window = 0.5 - 0.5 * cos(2 * kPi * k / SAMPLES);
    signal[k] = window * (amplitude * sin(2 * kPi * frequency * k / RATE_HZ) + noise);
  }
}

/* Level in dB of each frequency bin (a plain transform: few bins, no hurry). */
static void Spectrum(const double* signal, double* level) {
  for (int bin = 0; bin < BINS; ++bin) {
    double re = 0, im = 0;
    for (int k = 0; k < SAMPLES; ++k) {
      double phase = 2 * kPi * bin * k / SAMPLES;
      re += signal[k] * cos(phase);
      im -= signal[k] * sin(phase);
    }
    double magnitude = sqrt(re * re + im * im) * 4.0 / SAMPLES;
    level[bin] = magnitude > 0 ? 20 * log10(magnitude) : FLOOR_DB;
    if (level[bin] < FLOOR_DB) level[bin] = FLOOR_DB;
  }
}

static int App(int argc, char** argv) {
  long frames = argc > 1 ? atol(argv[1]) : 0;
  static double signal[SAMPLES], level[BINS];
  unsigned seed = 1;

  vt_panel_open_status(CLUSTER);
  vt_panel_open_input(CLUSTER);
  int32_t graph = vt_graph_open(CLUSTER, "Signal generator", BINS);
  vt_graph_set_title(CLUSTER, graph, "Signal generator");
  vt_graph_set_x_title(CLUSTER, graph, "Frequency", "Hz");
  vt_graph_set_y_title(CLUSTER, graph, "Level", "dB");
  // The window places the levels through the physical Y range: the same dB span as shown.
  vt_graph_set_axis_ranges_phis(CLUSTER, graph, 0, BINS, FLOOR_DB, -FLOOR_DB + 10);
  vt_graph_set_axis_ranges_user(CLUSTER, graph, 0, RATE_HZ / 2, FLOOR_DB, -FLOOR_DB + 10);

  int32_t lastFrequency = -1, lastAmplitude = -1;
  long frame = 0;
  for (;;) {
    int32_t position = 0;
    int32_t amplitude = vt_panel_read_input(CLUSTER, &position);
    if (position < 0) break; /* the user closed the input window */
    /* Slider 0 to 100: 100 Hz to 20.1 kHz, and 0 to full scale. */
    double toneHz = 100 + position * 200.0;
    static char text[64];
    if (position != lastFrequency || amplitude != lastAmplitude) {
      snprintf(text, sizeof text, "%.0f Hz, %d %%", toneHz, (int)amplitude);
      lastFrequency = position;
      lastAmplitude = amplitude;
    }
    /* The same text again repaints nothing; its result tells of "Terminate". */
    if (vt_panel_show_status(CLUSTER, text) != 0) break;
    MakeSignal(signal, toneHz, amplitude / 100.0, &seed);
    Spectrum(signal, level);
    vt_graph_append(CLUSTER, graph, level, BINS);
    vt_graph_show(CLUSTER, graph);
    ++frame;
    if (frames > 0 && frame >= frames) break;
  }

  vt_panel_close_input(CLUSTER);
  vt_graph_close(CLUSTER, graph);
  vt_printf("Signal generator ended after %ld spectra\n", frame);
  return 0;
}

VT_MAIN(App)
