// The contract of a link interface library: exports GetInfo and CloseInfo,
// hands out InterfaceInfo and Link objects it keeps owning, and throws QMXExc
// for driver failures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "veltra/Export.h"
#include "veltra/WindowHandle.h"

namespace veltra {

constexpr int kBoardNameSize = 32;

struct VELTRA_EXPORT QMXExc {
  int32_t error;
  int32_t line;
  char file[1028];
  char message[1024];
};
static_assert(offsetof(QMXExc, file) == 8, "QMXExc: file name at byte 8");
static_assert(offsetof(QMXExc, message) == 1036, "QMXExc: message text at byte 1036");

class Link {
 public:
  virtual void Read(void* buffer, int count) = 0;                     // 0
  virtual void Write(const void* buffer, int count) = 0;              // 1
  virtual void Reset() = 0;                                           // 2
  virtual void RunEnded() = 0;                                        // 3
  virtual bool LoadFile(const char* path) = 0;                        // 4
  virtual void Cancel() = 0;                                          // 5
  virtual int DriverVersion(char* name, int* major, int* minor) = 0;  // 6 (name: 128 bytes)
  virtual void ShowProperties() = 0;                                  // 7
  virtual int Control(int code, int value) = 0;                       // 8
  virtual const char* LoadError() = 0;                                // 9

 protected:
  ~Link() = default;
};

class InterfaceInfo {
 public:
  virtual int BoardCount() = 0;                                // 0
  virtual void BoardInfo(int index, char* name, int* id) = 0;  // 1 (name: 32 bytes)
  virtual void Description(char* text) = 0;                    // 2 (text: 32 bytes)
  virtual Link* OpenLink(int index) = 0;                       // 3
  virtual int HideBoardId() = 0;                               // 4

 protected:
  ~InterfaceInfo() = default;
};

using GetInfoFunction = InterfaceInfo* (*)(WindowHandle owner);
using CloseInfoFunction = void (*)();

}  // namespace veltra
