/* Applications that keep the server waiting in one place, for the tests that
 * a halt ends every such wait. The first argument says where:
 *   flood        echo requests of 4000 bytes, never reading a reply
 *   record       service 15 on console input
 *   line         service 12 on console input, then service 15, then 12
 *   open NAME    service 1 on NAME for reading, then one read
 *   create NAME  service 1 on NAME for writing, then one write
 *   command TEXT service 26 with TEXT
 *   fds          prints the descriptors this process has open, one a line
 * It gives up by itself after 60 seconds so that a broken test cannot leave
 * it running. */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "veltra_target.h"

static void PrintLine(const char* label, const char* text, uint32_t length) {
  vt_printf("%s: %.*s\n", label, (int)length, text);
}

static int Stuck(int argc, char** argv) {
  alarm(60);
  const char* mode = argc > 1 ? argv[1] : "";
  char buffer[VT_TRANSFER_MAX];
  if (strcmp(mode, "flood") == 0) {
    static char data[4000];
    for (;;) {
      vt_begin(VT_CLUSTER_CORE, 4, 0);
      vt_put_bytes(data, sizeof data);
      vt_send();
    }
  }
  if (strcmp(mode, "record") == 0 || strcmp(mode, "line") == 0) {
    int32_t handle = -1;
    vt_basalt_open_input(0, &handle);
    uint32_t got = 0;
    int32_t length = 0;
    if (strcmp(mode, "line") == 0) {
      vt_basalt_read(handle, sizeof buffer, buffer, sizeof buffer, &got);
      PrintLine("read", buffer, got);
    }
    vt_basalt_read_record(handle, VT_REC_BEGIN, sizeof buffer, buffer, sizeof buffer, &length, &got);
    PrintLine("record", buffer, got);
    if (strcmp(mode, "line") == 0) {
      vt_basalt_read(handle, sizeof buffer, buffer, sizeof buffer, &got);
      PrintLine("read", buffer, got);
    }
    return 0;
  }
  if ((strcmp(mode, "open") == 0 || strcmp(mode, "create") == 0) && argc > 2) {
    int reading = strcmp(mode, "open") == 0;
    int32_t handle = -1;
    int32_t result = vt_basalt_open(argv[2], 0, reading ? 0 : 1, reading ? 0 : 1, 0, &handle);
    vt_printf("opened: %d\n", (int)result);
    uint32_t got = 0;
    if (reading)
      vt_basalt_read(handle, 16, buffer, sizeof buffer, &got);
    else
      vt_basalt_write(handle, "x", 1, &got);
    vt_printf("transferred: %u\n", (unsigned)got);
    return 0;
  }
  if (strcmp(mode, "command") == 0 && argc > 2) {
    vt_printf("status: %d\n", (int)vt_basalt_system(argv[2]));
    return 0;
  }
  if (strcmp(mode, "fds") == 0) {
    DIR* fds = opendir("/proc/self/fd");
    struct dirent* entry;
    while (fds && (entry = readdir(fds)) != NULL) {
      char path[300];
      char target[512];
      if (entry->d_name[0] == '.') continue;
      snprintf(path, sizeof path, "/proc/self/fd/%s", entry->d_name);
      ssize_t n = readlink(path, target, sizeof target - 1);
      target[n > 0 ? n : 0] = '\0';
      vt_printf("%s %s\n", entry->d_name, target);
    }
    if (fds) closedir(fds);
    return 0;
  }
  vt_printf("unknown mode %s\n", mode);
  return 2;
}

VT_MAIN(Stuck)
