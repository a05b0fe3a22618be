#include "tests/support/RecordingHost.h"

#include <chrono>
#include <cstring>

namespace veltra::test {

void RecordingHost::Output(const char* text, bool toStderr) {
  std::lock_guard<std::mutex> lock(mutex_);
  (toStderr ? err_ : out_) += text;
  all_ += text;
  changed_.notify_all();
}

int RecordingHost::ReadLine(char* buffer, int size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (lines_.empty() || size <= 0) return 0;
  std::string line = lines_.front();
  lines_.pop_front();
  int n = static_cast<int>(std::min<size_t>(line.size(), static_cast<size_t>(size)));
  std::memcpy(buffer, line.data(), static_cast<size_t>(n));
  if (n < size) buffer[n] = '\0';
  return n;
}

void RecordingHost::RunFinished() {
  if (onRunFinished) onRunFinished();
  std::lock_guard<std::mutex> lock(mutex_);
  ++runsFinished_;
  changed_.notify_all();
}

void RecordingHost::ThreadStarted() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++threadsStarted_;
}

void RecordingHost::ThreadEnding() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++threadsEnded_;
  changed_.notify_all();
}

void RecordingHost::SetInputTitle(const char* title) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputTitle_ = title;
}

void RecordingHost::QueueLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(line);
}

std::string RecordingHost::Out() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}
std::string RecordingHost::Err() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return err_;
}
std::string RecordingHost::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return all_;
}
std::string RecordingHost::InputTitle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inputTitle_;
}
int RecordingHost::RunsFinished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runsFinished_;
}
int RecordingHost::ThreadsStarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threadsStarted_;
}
int RecordingHost::ThreadsEnded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threadsEnded_;
}

bool RecordingHost::WaitForRuns(int count, int milliseconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [&] { return runsFinished_ >= count; });
}

void RecordingHost::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  out_.clear();
  err_.clear();
  all_.clear();
}

}  // namespace veltra::test
