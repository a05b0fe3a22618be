// The message object of an outside data-flow host, as a GraphHandler of
// Spectrel uses it. The host implements the whole interface; the handler
// calls only Value, Finish, Read, ReadBlock and Discard, and the slots it
// never calls are kept, unnamed, so that the order stays the host's.
#pragma once

namespace veltra {

class GraphMessage {
 public:
  virtual void Reserved1() = 0;
  virtual void Reserved2() = 0;
  virtual void Reserved3() = 0;
  // The command code of a command message, the byte count of a data message.
  virtual int Value() = 0;
  // After the data was shown, with what Value returned.
  virtual void Finish(int value) = 0;
  virtual void Reserved6() = 0;
  // Copies n bytes of the message to destination.
  virtual void Read(int n, void* destination) = 0;
  // Copies n bytes; non-zero on success. zero is always 0.
  virtual int ReadBlock(int n, void* destination, int zero) = 0;
  // Called before a held data buffer is freed.
  virtual void Discard() = 0;

 protected:
  // The host owns its messages; a handler never deletes one.
  ~GraphMessage() = default;
};

}  // namespace veltra
