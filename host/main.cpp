// Hostrix: the GUI host of the Veltra server.
#include "host/HostrixApp.h"

int main(int argc, char** argv) {
  return veltra::RunHostrix(argc, argv);
}
