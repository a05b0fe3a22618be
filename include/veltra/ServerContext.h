// The per-server object every cluster uses for output, monitoring, the fatal
// stop, the command line and standard I/O. Slot order is fixed.
#pragma once

#include <cstdint>

namespace veltra {

struct StreamOptions;

class ServerContext {
 public:
  virtual const char* Version() = 0;                                                                   // 0
  virtual void Monitor(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;             // 1
  [[noreturn]] virtual void Fatal(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;  // 2
  virtual void MonitorWords(const char* label, const uint32_t* words, unsigned count) = 0;             // 3
  virtual void SetProgramName(const char* name) = 0;                                                   // 4
  virtual const char* ProgramName() = 0;                                                               // 5
  virtual void SetArguments(const char* arguments) = 0;                                                // 6
  virtual const char* Arguments() = 0;                                                                 // 7
  virtual void ClearProgramOverride() = 0;                                                             // 8
  virtual void SetCommandLine(const char* text) = 0;                                                   // 9
  virtual const char* CommandLine() = 0;                                                               // 10
  virtual int CommandLineLimit() = 0;                                                                  // 11
  virtual const char* ApplicationPath() = 0;                                                           // 12
  virtual void SetExitStatus(int status) = 0;                                                          // 13
  virtual int ExitStatus() = 0;                                                                        // 14
  // Stores a zero at buffer[length]; the caller leaves room for it.
  virtual void Write(char* buffer, int length, bool toStderr) = 0;  // 15
  virtual int ReadLine(char* buffer, int size) = 0;                 // 16
  virtual void OpenRedirections() = 0;                              // 17
  virtual void CloseRedirections() = 0;                             // 18
  virtual void StopServing() = 0;                                   // 19
  virtual bool IsServing() = 0;                                     // 20
  virtual ~ServerContext() = default;                               // 21
  virtual void SetApplicationPath(const char* path) = 0;            // 22
  virtual void OpenRedirection(StreamOptions& record) = 0;          // 23

  // The no-reply flag of the current request. A handler may change it (the
  // task exit service does); the serve loop reads it after dispatch.
  int noReply = 0;
};

}  // namespace veltra
