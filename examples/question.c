/* Asks the user a yes/no question on the host and tells the answer.
 * Without a display, veltra-run --answer yes|no gives the answer. */
#include "veltra_target.h"

static int App(int argc, char** argv) {
  (void)argc;
  (void)argv;
  int32_t yes = vt_panel_ask_yes_no(VT_CLUSTER_PANEL, "Veltra demo", "Shall the demonstration go on?");
  vt_printf(yes ? "Yes: going on.\n" : "No: stopping here.\n");
  return yes ? 0 : 3;
}

VT_MAIN(App)
