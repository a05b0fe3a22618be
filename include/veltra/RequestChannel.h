// How a cluster reads the arguments of the current request and writes its
// reply. The first fourteen operations keep their slot order; later ones are
// appended after them.
#pragma once

#include <cstdint>

namespace veltra {

class RequestChannel {
 public:
  virtual ~RequestChannel() = default;
  virtual int32_t ReadWord() = 0;             // 1
  virtual void WriteWord(int32_t value) = 0;  // 2
  // Copies a counted byte string to destination, which must hold all of it.
  // Prefer ReadBytesBounded wherever the destination has a fixed size.
  virtual uint32_t ReadBytes(void* destination) = 0;                // 3
  virtual void WriteBytes(uint32_t count, const void* source) = 0;  // 4
  virtual double ReadDouble() = 0;                                  // 5
  virtual void WriteDouble(double value) = 0;                       // 6
  virtual uint32_t ReadUnsigned() = 0;                              // 7
  virtual void WriteUnsigned(uint32_t value) = 0;                   // 8
  virtual void Signal(uint32_t mask) = 0;                           // 9
  virtual void SignalSemaphore(int n) = 0;                          // 10
  virtual void Flush() = 0;                                         // 11
  virtual int QueryDriverVersion(int ignored) = 0;                  // 12
  virtual int BeginLinkSync() = 0;                                  // 13
  virtual int EndLinkSync() = 0;                                    // 14

  // Reads a counted byte string, copying at most capacity bytes of it and
  // skipping the rest. Returns the count the string carried, so a caller can
  // tell (count > capacity) that it did not fit.
  virtual uint32_t ReadBytesBounded(void* destination, uint32_t capacity) = 0;  // 15
};

}  // namespace veltra
