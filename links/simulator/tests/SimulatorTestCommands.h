// Commands of the test application, sent as the first word of a block.
#pragma once

#include <cstdint>

namespace veltra::sim::test {

enum class Command : uint32_t {
  kEcho = 1,             // the block comes back unchanged
  kCwd = 2,              // reply: byte count, then the working directory
  kExit = 3,             // exit with the status in the second word
  kKill = 4,             // die by SIGKILL
  kHalfBlock = 5,        // send a length word of 8 and 4 bytes, then exit with the status in word 2
  kPid = 6,              // reply: process id
  kIgnoreTerm = 7,       // ignore SIGTERM and the end of the link from now on; reply: 7
  kRawWord = 8,          // reply 8, then read one bare word and send it back as a block
  kFirstRecv = 9,        // reply 9, then receive the next block; reply: bytes of its first recv, its length
  kOtherSockets = 10,    // reply: how many sockets besides the link the application has open
  kCloseLink = 11,       // close the link and wait to be killed
  kSignalSeen = 0x5160,  // reply to a signal block: this, then the mask
};

}  // namespace veltra::sim::test
