// The engine's ServerContext: output and input routing, monitor lines, the
// fatal stop, the command line and the program-name override.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "engine/serve/StopEvent.h"
#include "veltra/HostCallbacks.h"
#include "veltra/OptionsRecord.h"
#include "veltra/ServerContext.h"

namespace veltra {

class ServerContextImpl final : public ServerContext {
 public:
  ServerContextImpl(HostCallbacks* host, OptionsRecord* options);
  ~ServerContextImpl() override;

  const char* Version() override;
  void Monitor(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  [[noreturn]] void Fatal(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void MonitorWords(const char* label, const uint32_t* words, unsigned count) override;
  void SetProgramName(const char* name) override;
  const char* ProgramName() override;
  void SetArguments(const char* arguments) override;
  const char* Arguments() override;
  void ClearProgramOverride() override;
  void SetCommandLine(const char* text) override;
  const char* CommandLine() override;
  int CommandLineLimit() override;
  const char* ApplicationPath() override;
  void SetExitStatus(int status) override;
  int ExitStatus() override;
  void Write(char* buffer, int length, bool toStderr) override;
  int ReadLine(char* buffer, int size) override;
  void OpenRedirections() override;
  void CloseRedirections() override;
  void StopServing() override;
  bool IsServing() override;
  void SetApplicationPath(const char* path) override;
  void OpenRedirection(StreamOptions& record) override;

  // Engine-internal.
  void SetServing(bool serving) { serving_.store(serving); }
  // A halt: serving stops, and every host-side wait of the run ends. The
  // application's own end (the exit service) only stops serving, so that
  // what is still on its way to a pipe at the end of the run gets there.
  void Halt() {
    StopServing();
    stop_.Set();
  }
  // A new run begins: what halted the last one no longer halts anything.
  void BeginRun() { stop_.Clear(); }
  const StopEvent& Halting() const { return stop_; }
  HostCallbacks* Host() const { return host_; }
  OptionsRecord* Options() const { return options_; }
  // Routes a text that is not zero-terminated in writable memory.
  void WriteText(const char* text, size_t length, bool toStderr);

 private:
  // Routes a text that has a terminating zero at text[length].
  void Route(const char* text, size_t length, bool toStderr);
  void AppendToFile(StreamOptions& stream, const char* text, size_t length);
  // Opens a redirection file without waiting for a named pipe's other end
  // longer than the run lasts; null with errno on failure.
  std::FILE* OpenStreamFile(const char* name, bool input, bool append);
  // Writes "MON: " text "\n" on the error route.
  void MonitorLine(const char* text);

  HostCallbacks* host_;
  OptionsRecord* options_;
  // Written by the GUI thread (Halt), read by the serve loop between requests.
  std::atomic<bool> serving_{false};
  StopEvent stop_;
  // Written by the server thread, read by the host's thread at any time.
  std::atomic<int> exitStatus_{0};
  std::optional<std::string> programName_;
  std::optional<std::string> arguments_;
  const char* applicationPath_ = "";
  // Guards the Handle fields of the three stream records against a close
  // while another thread (a signal's monitor line) appends to a file.
  std::mutex filesMutex_;
  // Guards the options record's CommandLine, written by the host's thread
  // and read by services on the server thread.
  std::mutex commandLineMutex_;
};

}  // namespace veltra
