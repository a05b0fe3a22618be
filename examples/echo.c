/* Copies standard input to standard output line by line, then reports the
   number of lines on standard error. */
#include <string.h>

#include "veltra_target.h"

static int Echo(int argc, char** argv) {
  (void)argc;
  (void)argv;
  char line[4097];
  unsigned long lines = 0;
  int partial = 0;
  while (vt_fgets(line, sizeof line, vt_stdin()) != NULL) {
    size_t n = strlen(line);
    if (vt_fputs(line, vt_stdout()) != 0) return 1;
    partial = n == 0 || line[n - 1] != '\n';
    if (!partial) ++lines;
  }
  if (partial) ++lines; /* a last line without its newline */
  vt_eprintf("echo: %lu lines\n", lines);
  return 0;
}

VT_MAIN(Echo)
