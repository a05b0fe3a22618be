#include "runner/ConsoleHost.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace veltra {

ConsoleHost::ConsoleHost(std::FILE* out, std::FILE* err, int in, bool mergeStderr)
    : out_(out),
      err_(err),
      in_(in),
      mergeStderr_(mergeStderr),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ConsoleHost::~ConsoleHost() {
  if (wake_ >= 0) close(wake_);
}

void ConsoleHost::Output(const char* text, bool toStderr) {
  // Standard error is unbuffered for a person watching; the output stream
  // keeps its buffering and is flushed before input is read and at the end.
  // Merged standard error still arrives marked as standard error.
  if (toStderr && !mergeStderr_) {
    if (std::fputs(text, err_) == EOF || std::fflush(err_) != 0) NoteFailure(errorOutputError_);
  } else if (std::fputs(text, out_) == EOF) {
    NoteOutputFailure();
  }
}

void ConsoleHost::NoteFailure(std::atomic<int>& error) {
  int expected = 0;
  error.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
}

void ConsoleHost::StopInput() {
  inputStopped_ = true;
  if (wake_ >= 0) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wake_, &one, sizeof one);
  }
}

bool ConsoleHost::Fill() {
  for (;;) {
    if (inputStopped_ || inputEnded_) return false;
    pollfd fds[2] = {{in_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int ready = poll(fds, wake_ >= 0 ? 2 : 1, wake_ >= 0 ? -1 : 100);
    if (ready < 0) {
      if (errno == EINTR) continue;
      inputEnded_ = true;
      return false;
    }
    if (inputStopped_) return false;
    if (ready == 0 || fds[0].revents == 0) continue;
    char chunk[4096];
    ssize_t count = read(in_, chunk, sizeof chunk);
    if (count > 0) {
      pending_.append(chunk, static_cast<size_t>(count));
      return true;
    }
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // The end of input, or an input that cannot be read (closed, invalid).
    inputEnded_ = true;
    return false;
  }
}

int ConsoleHost::ReadLine(char* buffer, int size) {
  if (size <= 1) return 0;
  if (std::fflush(out_) != 0) NoteOutputFailure();
  buffer[0] = '\0';
  // A line as the C library's fgets gives it: up to and with its newline,
  // at most size - 1 characters; the rest stays for the next call.
  size_t limit = static_cast<size_t>(size - 1);
  for (;;) {
    if (inputStopped_) return 0;
    size_t newline = pending_.find('\n');
    size_t length = 0;
    if (newline != std::string::npos && newline < limit)
      length = newline + 1;
    else if (pending_.size() >= limit)
      length = limit;
    else if (!Fill())
      length = inputStopped_ ? 0 : pending_.size();  // a last line without its newline
    else
      continue;
    std::memcpy(buffer, pending_.data(), length);
    buffer[length] = '\0';
    pending_.erase(0, length);
    return static_cast<int>(length);
  }
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
