// HostCallbacks for tests: keeps all output, answers ReadLine from queued
// lines (0 = end of input when none are left), counts the run notices.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "veltra/HostCallbacks.h"

namespace veltra::test {

class RecordingHost : public HostCallbacks {
 public:
  void Output(const char* text, bool toStderr) override;
  int ReadLine(char* buffer, int size) override;
  void RunFinished() override;
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return window; }
  void ThreadStarted() override;
  void ThreadEnding() override;
  void SetInputTitle(const char* title) override;

  void QueueLine(const std::string& line);
  std::string Out() const;  // texts that came with toStderr clear
  std::string Err() const;  // texts that came with toStderr set
  std::string All() const;  // both, in arrival order
  std::string InputTitle() const;
  int RunsFinished() const;
  int ThreadsStarted() const;
  int ThreadsEnded() const;
  bool WaitForRuns(int count, int milliseconds = 5000) const;
  void Clear();

  WindowHandle window = reinterpret_cast<WindowHandle>(0x5150);
  // Called on the server thread at the start of each RunFinished; set it
  // before the run it is for.
  std::function<void()> onRunFinished;

 private:
  mutable std::mutex mutex_;  // guards every field below
  mutable std::condition_variable changed_;
  std::string out_, err_, all_, inputTitle_;
  std::deque<std::string> lines_;
  int runsFinished_ = 0, threadsStarted_ = 0, threadsEnded_ = 0;
};

}  // namespace veltra::test
