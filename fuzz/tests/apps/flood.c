/* For the fault tests: sends echo requests of 4000 bytes and never reads a
 * reply, until both directions of the link are full and the server is stuck
 * writing a reply; then it exits, which closes the link under that write. */
#include <signal.h>
#include <unistd.h>

#include "rawlink.h"

static Request request;

static void Leave(int signal) {
  (void)signal;
  _exit(0);
}

int main(void) {
  int fd = LinkFd();
  static char text[4000];
  memset(text, 'e', sizeof text);
  signal(SIGALRM, Leave);
  alarm(1);
  for (;;) {
    Begin(&request, 1, 4);
    PutText(&request, text, sizeof text);
    if (Send(fd, &request, 0, 0) != 0) return 1;
  }
}
