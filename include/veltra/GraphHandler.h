// A message handler of Spectrel that an outside data-flow host plugs into its
// own message passing; each feeds one graph window. Made by OpenHandler and
// destroyed by CloseHandler (never deleted by the host). Slots in order; the
// host calls them, and those that do nothing are kept for their place.
#pragma once

#include "veltra/GraphMessage.h"

namespace veltra {

class GraphHandler {
 public:
  // 1: also counts the handler out.
  virtual ~GraphHandler() = default;
  // 2: ignored; returns 0.
  virtual int Reserved2(void* argument) = 0;
  // 3: shows the held data (message: Value, then Finish with it); returns 0.
  virtual int ShowData(GraphMessage* message, int ignored) = 0;
  // 4: ignored; returns 0.
  virtual int Reserved4(void* first, void* second) = 0;
  // 5: drops the held data and takes the message's Value bytes; 0 when they
  // were read, 1 (holding nothing) when not.
  virtual int ReceiveData(GraphMessage* message, int second) = 0;
  // 6: drops the held data (Discard first); returns 0.
  virtual int DropData(GraphMessage* message, int ignored) = 0;
  // 7 and 8: ignored; return 1.
  virtual int Reserved7(void* first, void* second) = 0;
  virtual int Reserved8(void* first, void* second) = 0;
  // 9: command by the message's Value: 11 X title and unit, 12 Y title and
  // unit (Read of 128 bytes: two texts of 64), 13 data layout and physical
  // range (24 bytes), 14 axis ranges (32 bytes); others change nothing.
  // Returns 0.
  virtual int Command(GraphMessage* message, int ignored) = 0;
};

}  // namespace veltra
