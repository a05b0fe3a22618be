#include "runner/ConsoleHost.h"

#include <cerrno>
#include <cstring>

namespace veltra {

void ConsoleHost::Output(const char* text, bool toStderr) {
  // Standard error is unbuffered for a person watching; the output stream
  // keeps its buffering and is flushed before input is read and at the end.
  if (toStderr) {
    std::fputs(text, err_);
    std::fflush(err_);
  } else if (std::fputs(text, out_) == EOF) {
    NoteOutputFailure();
  }
}

void ConsoleHost::NoteOutputFailure() {
  int expected = 0;
  outputError_.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
}

int ConsoleHost::ReadLine(char* buffer, int size) {
  if (size <= 1) return 0;
  if (std::fflush(out_) != 0) NoteOutputFailure();
  if (!std::fgets(buffer, size, in_)) return 0;
  return static_cast<int>(std::strlen(buffer));
}

void ConsoleHost::RunFinished() {
  if (std::fflush(out_) != 0) NoteOutputFailure();
  std::lock_guard<std::mutex> lock(mutex_);
  ++runsFinished_;
  finished_.notify_all();
}

bool ConsoleHost::WaitForRuns(int count, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_.wait_until(lock, deadline, [&] { return runsFinished_ >= count; });
}

int ConsoleHost::RunsFinished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return runsFinished_;
}

}  // namespace veltra
