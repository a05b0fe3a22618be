// The runner's HostCallbacks: the application's standard output and error go
// to this program's own, standard input lines come from this program's own,
// and the end of each run is announced to the waiting main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "veltra/HostCallbacks.h"

namespace veltra {

class ConsoleHost final : public HostCallbacks {
 public:
  ConsoleHost(std::FILE* out, std::FILE* err, std::FILE* in) : out_(out), err_(err), in_(in) {}

  void Output(const char* text, bool toStderr) override;
  int ReadLine(char* buffer, int size) override;
  void RunFinished() override;
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return nullptr; }
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char*) override {}

  // Waits until RunFinished has been called count times in all, or the
  // deadline passes. True when it has.
  bool WaitForRuns(int count, std::chrono::steady_clock::time_point deadline);
  int RunsFinished();

  // The error number of the first failed write to the output stream, 0
  // while none failed: a closed pipe or a full disk behind it.
  int OutputError() const { return outputError_; }

 private:
  void NoteOutputFailure();

  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  std::mutex mutex_;  // guards runsFinished_
  std::condition_variable finished_;
  int runsFinished_ = 0;
  std::atomic<int> outputError_{0};
};

}  // namespace veltra
