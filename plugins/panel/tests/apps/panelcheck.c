/* Tries the control-panel services of cluster 0x310 as a DSP application
 * would and prints what it reads. Modes (argument 1):
 *   edges  a text before the status window, the input window read closed, the
 *          main panel read before and after it opens, the status and input
 *          windows, a question, then service 10, which ends the run;
 *   read   opens the main panel and the input window, prints what they hold
 *          and closes them, so that the next run starts from what was saved;
 *   ask    asks one question and prints the answer. */
#include <string.h>

#include "veltra_target.h"

#define PANEL VT_CLUSTER_PANEL

static void PrintPanel(const char* what, int32_t result, const vt_panel_settings* s) {
  vt_printf("%s %d: %d %d %d %d %d [%s] %d\n", what, result, s->adc_mhz, s->dac_mhz, s->pattern_generator,
            s->pattern_frequency, s->pattern_amplitude, s->pattern_file, s->terminate);
}

static void Edges(void) {
  vt_printf("early %d\n", vt_panel_show_status(PANEL, "too early"));
  int32_t frequency = 0;
  int32_t amplitude = vt_panel_read_input(PANEL, &frequency);
  vt_printf("input closed %d %d\n", amplitude, frequency);
  vt_panel_settings settings;
  int32_t result = vt_panel_read_panel(PANEL, &settings);
  PrintPanel("unopened", result, &settings);
  vt_printf("open panel %d\n", vt_panel_open_panel(PANEL));
  result = vt_panel_read_panel(PANEL, &settings);
  PrintPanel("panel", result, &settings);
  vt_printf("open status %d\n", vt_panel_open_status(PANEL));
  vt_printf("status %d\n", vt_panel_show_status(PANEL, "Running"));
  vt_printf("open input %d\n", vt_panel_open_input(PANEL));
  amplitude = vt_panel_read_input(PANEL, &frequency);
  vt_printf("input %d %d\n", amplitude, frequency);
  vt_printf("close input %d\n", vt_panel_close_input(PANEL));
  amplitude = vt_panel_read_input(PANEL, &frequency);
  vt_printf("input closed %d %d\n", amplitude, frequency);
  vt_printf("close panel %d\n", vt_panel_close_panel(PANEL));
  vt_printf("ask %d\n", vt_panel_ask_yes_no(PANEL, "Question", "Go on?"));
  vt_begin(PANEL, 10, 0);
  vt_call();
  vt_printf("beyond\n");
}

static void Read(void) {
  vt_panel_settings settings;
  vt_panel_open_panel(PANEL);
  int32_t result = vt_panel_read_panel(PANEL, &settings);
  PrintPanel("panel", result, &settings);
  vt_panel_open_input(PANEL);
  int32_t frequency = 0;
  int32_t amplitude = vt_panel_read_input(PANEL, &frequency);
  vt_printf("input %d %d\n", amplitude, frequency);
  vt_panel_close_input(PANEL);
  vt_panel_close_panel(PANEL);
}

static int App(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "edges";
  if (strcmp(mode, "read") == 0) {
    Read();
  } else if (strcmp(mode, "ask") == 0) {
    vt_printf("answer %d\n", vt_panel_ask_yes_no(PANEL, "Panel check", "Is it on?"));
  } else {
    Edges();
  }
  return 0;
}

VT_MAIN(App)
