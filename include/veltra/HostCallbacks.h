// How the engine calls the host back. Every call arrives on the server
// thread except Output with the monitor lines of calls the host makes itself:
// OrvServer::ResetBoards and, with link monitoring on, SignalHostSemaphore (or
// a semaphore signalled through the options record). Those arrive on the
// caller's thread, possibly while the server thread is in Output as well.
#pragma once

#include "veltra/WindowHandle.h"

namespace veltra {

class HostCallbacks {
 public:
  virtual ~HostCallbacks() = default;                        // 0
  virtual void Output(const char* text, bool toStderr) = 0;  // 1
  virtual int ReadLine(char* buffer, int size) = 0;          // 2
  virtual void RunFinished() = 0;                            // 3
  virtual int Reserved(const char* text, int value) = 0;     // 4
  virtual WindowHandle MainWindow() = 0;                     // 5
  virtual void ThreadStarted() = 0;                          // 6
  virtual void ThreadEnding() = 0;                           // 7
  virtual void SetInputTitle(const char* title) = 0;         // 8
};

}  // namespace veltra
