/* Tries the file and command services that a file root and the host-command
 * switch govern, as its command line asks, and prints each result:
 *   write NAME     creates NAME, writes one line, closes: "write NAME: RESULT"
 *   read NAME      "read NAME: RESULT" and the first line read, if any
 *   exists NAME    "exists NAME: RESULT"
 *   rename A B     "rename A B: RESULT"
 *   temp           a temporary file: "temp: RESULT NAME", then closed (and so deleted)
 *   command TEXT   "command: RESULT" */
#include <string.h>

#include "veltra_target.h"

static void Write(const char* name) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open(name, VT_REC_TEXT, VT_WRITE, VT_CREATE, 0, &handle);
  if (result == VT_OK) {
    uint32_t written = 0;
    const char* line = "from the application\n";
    vt_basalt_write(handle, line, (uint32_t)strlen(line), &written);
    vt_basalt_close(handle, VT_KEEP);
  }
  vt_printf("write %s: %d\n", name, (int)result);
}

static void Read(const char* name) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open(name, VT_REC_TEXT, VT_READ, 0, 0, &handle);
  vt_printf("read %s: %d\n", name, (int)result);
  if (result != VT_OK) return;
  char buffer[256];
  uint32_t got = 0;
  vt_basalt_read(handle, sizeof buffer - 1, buffer, sizeof buffer - 1, &got);
  buffer[got] = '\0';
  vt_printf("%s", buffer);
  vt_basalt_close(handle, VT_KEEP);
}

static void Temporary(void) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open_temp(VT_REC_TEXT, 0, &handle);
  char name[300] = "";
  if (result == VT_OK) {
    vt_basalt_name(handle, name, sizeof name);
    vt_basalt_close(handle, VT_KEEP);
  }
  vt_printf("temp: %d %s\n", (int)result, name);
}

static int Confined(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const char* first = i + 1 < argc ? argv[i + 1] : "";
    if (strcmp(word, "write") == 0) {
      Write(first);
      ++i;
    } else if (strcmp(word, "read") == 0) {
      Read(first);
      ++i;
    } else if (strcmp(word, "exists") == 0) {
      vt_printf("exists %s: %d\n", first, (int)vt_basalt_exists(first));
      ++i;
    } else if (strcmp(word, "rename") == 0 && i + 2 < argc) {
      vt_printf("rename %s %s: %d\n", first, argv[i + 2], (int)vt_basalt_rename(first, argv[i + 2]));
      i += 2;
    } else if (strcmp(word, "temp") == 0) {
      Temporary();
    } else if (strcmp(word, "command") == 0) {
      vt_printf("command: %d\n", (int)vt_basalt_system(first));
      ++i;
    } else {
      vt_eprintf("confined: unknown word %s\n", word);
      return 2;
    }
  }
  return 0;
}

VT_MAIN(Confined)
