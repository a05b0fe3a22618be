// The runner's HostCallbacks: the application's standard output and error go
// to this program's own, standard input lines come from this program's own,
// and the end of each run is announced to the waiting main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "veltra/HostCallbacks.h"

namespace veltra {

class ConsoleHost final : public HostCallbacks {
 public:
  // in is a descriptor read directly, so that a halt can end a read that
  // waits for input (see StopInput). With mergeStderr, text the engine marks
  // as standard error goes to out as well.
  ConsoleHost(std::FILE* out, std::FILE* err, int in, bool mergeStderr = false);
  ~ConsoleHost() override;
  ConsoleHost(const ConsoleHost&) = delete;
  ConsoleHost& operator=(const ConsoleHost&) = delete;

  void Output(const char* text, bool toStderr) override;
  int ReadLine(char* buffer, int size) override;
  void RunFinished() override;
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return nullptr; }
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char*) override {}

  // Ends a ReadLine waiting for input, and every later one, as at the end of
  // input. Safe from any thread.
  void StopInput();

  // Waits until RunFinished has been called count times in all, or the
  // deadline passes. True when it has.
  bool WaitForRuns(int count, std::chrono::steady_clock::time_point deadline);
  int RunsFinished();

  // The error number of the first failed write to the output stream, 0
  // while none failed: a closed pipe or a full disk behind it.
  int OutputError() const { return outputError_; }
  // The same for the error stream: text lost there is lost just as much.
  int ErrorOutputError() const { return errorOutputError_; }

 private:
  static void NoteFailure(std::atomic<int>& error);
  void NoteOutputFailure() { NoteFailure(outputError_); }
  // Reads more input into pending_; false at the end of input or when stopped.
  bool Fill();

  std::FILE* out_;
  std::FILE* err_;
  int in_;
  bool mergeStderr_;
  int wake_;  // an eventfd that StopInput makes readable, or -1
  std::atomic<bool> inputStopped_{false};
  // Input read but not yet handed out, and whether the input has ended. Only
  // the server thread reads input.
  std::string pending_;
  bool inputEnded_ = false;
  std::mutex mutex_;  // guards runsFinished_
  std::condition_variable finished_;
  int runsFinished_ = 0;
  std::atomic<int> outputError_{0};
  std::atomic<int> errorOutputError_{0};
};

}  // namespace veltra
