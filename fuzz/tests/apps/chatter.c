/* For the fault tests: numbered lines as fast as the server answers them,
 * until it is killed. Each request goes in two pieces with a pause between,
 * so a kill lands inside a request as often as between two. First it writes
 * its process number to "chatter.pid"; each line goes to its standard output
 * and to the host file "chatter.txt", and once the server has answered both,
 * one byte is appended to "chatter.acks": the file's size is the number of
 * lines acknowledged. After 20 seconds unkilled it ends its run itself. */
#include <fcntl.h>
#include <stdio.h>
#include <time.h>

#include "rawlink.h"

static Request request;
static uint32_t reply[2100];

static int32_t Call(int fd, size_t split) {
  if (Send(fd, &request, split, 300) != 0) _exit(2);
  int words = Receive(fd, reply, sizeof reply / sizeof reply[0]);
  if (words < 1) _exit(3);
  return (int32_t)reply[words - 1];
}

int main(void) {
  int fd = LinkFd();
  char text[32];
  int length = snprintf(text, sizeof text, "%ld\n", (long)getpid());
  int pidFile = open("chatter.pid.new", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (pidFile < 0 || write(pidFile, text, (size_t)length) != length) return 4;
  close(pidFile);
  rename("chatter.pid.new", "chatter.pid");
  int acks = open("chatter.acks", O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (acks < 0) return 5;

  Begin(&request, 0, 4); /* standard output */
  PutWord(&request, 0);
  if (Call(fd, 0) != 0) return 6;
  uint32_t out = reply[0];
  Begin(&request, 0, 1); /* chatter.txt, unstructured, written, created */
  PutText(&request, "chatter.txt", 11);
  PutWord(&request, 0);
  PutWord(&request, 1);
  PutWord(&request, 1);
  PutWord(&request, 0);
  if (Call(fd, 0) != 0) return 7;
  uint32_t file = reply[0];

  time_t end = time(NULL) + 20;
  for (unsigned i = 0; time(NULL) < end; ++i) {
    length = snprintf(text, sizeof text, "line %06u\n", i);
    uint32_t handles[2] = {out, file};
    for (int h = 0; h < 2; ++h) {
      Begin(&request, 0, 13);
      PutWord(&request, handles[h]);
      PutText(&request, text, (uint32_t)length);
      /* Split inside the text, then inside the request word. */
      if (Call(fd, (i % 2) ? 14 : 6) != 0) return 8;
    }
    if (write(acks, "+", 1) != 1) return 9;
  }
  Begin(&request, 0, 24);
  PutWord(&request, 0);
  Call(fd, 0);
  return 0;
}
