/* Program start and end: the command line as argc/argv, and the exit that
 * tells the server the status and ends the task. */
#include <stdlib.h>
#include <string.h>

#include "internal.h"

static int taskEnded;
static int atExitInstalled;

static int IsBlank(char c) {
  return c == ' ' || c == '\t';
}

int vt_split_arguments(const char* text, char* storage, char** argv, int max_args) {
  int argc = 0;
  const char* p = text;
  char* out = storage;
  while (argc < max_args) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    argv[argc++] = out;
    int quoted = 0;
    for (; *p != '\0' && (quoted || !IsBlank(*p)); ++p) {
      if (*p == '"')
        quoted = !quoted;
      else
        *out++ = *p;
    }
    *out++ = '\0';
  }
  return argc;
}

int vt_command_line(int* argc, char*** argv) {
  vt_begin(VT_CLUSTER_CORE, 2, 0);
  vt_call();
  uint32_t nameLength;
  uint32_t textLength;
  const char* name = vt_get_bytes_ref(&nameLength);
  const char* text = vt_get_bytes_ref(&textLength);
  /* Every argument takes at least one character and a blank or quote pair. */
  size_t slots = (size_t)textLength / 2 + 3;
  size_t size = slots * sizeof(char*) + nameLength + 1 + 2 * ((size_t)textLength + 1);
  char** vector = malloc(size);
  if (vector == NULL) return -1;
  char* nameCopy = (char*)(vector + slots);
  char* textCopy = nameCopy + nameLength + 1;
  char* storage = textCopy + textLength + 1;
  if (nameLength > 0) memcpy(nameCopy, name, nameLength);
  nameCopy[nameLength] = '\0';
  if (textLength > 0) memcpy(textCopy, text, textLength);
  textCopy[textLength] = '\0';
  vector[0] = nameCopy;
  int count = 1 + vt_split_arguments(textCopy, storage, vector + 1, (int)slots - 2);
  vector[count] = NULL;
  *argc = count;
  *argv = vector;
  return 0;
}

/* A program that returns from main without vt_exit still ends its task, so
   the server finishes the run instead of losing the link. */
static void EndTaskAtExit(void) {
  if (taskEnded || vt_link_fd() < 0) return;
  taskEnded = 1;
  vt_basalt_exit_task(0);
}

void vt_init(int* argc, char*** argv) {
  vt_attach();
  taskEnded = 0;
  if (!atExitInstalled) {
    atexit(EndTaskAtExit);
    atExitInstalled = 1;
  }
  if (argc != NULL && argv != NULL && vt_command_line(argc, argv) != 0)
    vt_fatal("out of memory for the command line");
}

void vt_exit(int status) {
  if (!taskEnded && vt_link_fd() >= 0) {
    taskEnded = 1;
    vt_flush_consoles();
    vt_basalt_set_exit_status(status);
    vt_basalt_exit_task(0);
  }
  exit(status);
}
