/* A misbehaving application for the fault tests: it sends part of a request
 * block and then ends, by exiting or by killing itself, as the environment
 * variable PARTIAL_END says ("exit", the default, or "kill"). */
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(void) {
  const char* fdText = getenv("VELTRA_LINK_FD");
  if (!fdText) return 127;
  int fd = atoi(fdText);
  /* Length word 12, then only 4 of the 12 bytes: cluster 0, service 28. */
  unsigned char partial[8] = {12, 0, 0, 0, 28, 0, 0, 0};
  if (write(fd, partial, sizeof partial) != (ssize_t)sizeof partial) return 1;
  usleep(50000);
  const char* end = getenv("PARTIAL_END");
  if (end && strcmp(end, "kill") == 0) raise(SIGKILL);
  return 0;
}
