#include "engine/serve/StopEvent.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace veltra {

namespace {

struct StreamCookie {
  int fd;
  const StopEvent* stop;
};

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
  auto* stream = static_cast<StreamCookie*>(cookie);
  // Waiting first: a named pipe whose writer has not come yet reads as its
  // end without it, where a blocking open would have waited for the writer.
  for (;;) {
    if (!stream->stop->WaitReady(stream->fd, POLLIN)) return -1;
    ssize_t got = ::read(stream->fd, buffer, size);
    if (got >= 0) return got;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
  }
}

ssize_t StreamWrite(void* cookie, const char* data, size_t size) {
  auto* stream = static_cast<StreamCookie*>(cookie);
  size_t done = 0;
  while (done < size) {
    ssize_t put = ::write(stream->fd, data + done, size - done);
    if (put >= 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || !stream->stop->WaitReady(stream->fd, POLLOUT))
      return done > 0 ? static_cast<ssize_t>(done) : -1;
  }
  return static_cast<ssize_t>(done);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
  off64_t at = ::lseek64(static_cast<StreamCookie*>(cookie)->fd, *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int StreamClose(void* cookie) {
  auto* stream = static_cast<StreamCookie*>(cookie);
  int result = ::close(stream->fd);
  delete stream;
  return result;
}

}  // namespace

StopEvent::StopEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopEvent::~StopEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void StopEvent::Set() {
  if (fd_ >= 0) ::eventfd_write(fd_, 1);
}

void StopEvent::Clear() {
  eventfd_t count;
  if (fd_ >= 0) ::eventfd_read(fd_, &count);
}

bool StopEvent::IsSet() const {
  pollfd probe{fd_, POLLIN, 0};
  return fd_ >= 0 && ::poll(&probe, 1, 0) > 0;
}

bool StopEvent::WaitReady(int fd, short events) const {
  pollfd fds[2] = {{fd, events, 0}, {fd_, POLLIN, 0}};
  for (;;) {
    int ready = ::poll(fds, fd_ >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (fds[1].revents & POLLIN) {
      errno = ECANCELED;
      return false;
    }
    // Hang-up and errors count as ready: the transfer itself reports them.
    if (fds[0].revents) return true;
  }
}

bool StopEvent::Sleep(std::chrono::milliseconds time) const {
  auto deadline = std::chrono::steady_clock::now() + time;
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return !IsSet();
    pollfd probe{fd_, POLLIN, 0};
    int ready = ::poll(&probe, fd_ >= 0 ? 1 : 0, static_cast<int>(left.count()));
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
  }
}

std::FILE* StopEvent::StoppableStream(int fd, const char* mode) const {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return nullptr;
  auto* cookie = new (std::nothrow) StreamCookie{fd, this};
  if (!cookie) return nullptr;
  cookie_io_functions_t functions{StreamRead, StreamWrite, StreamSeek, StreamClose};
  std::FILE* stream = ::fopencookie(cookie, mode, functions);
  if (!stream) delete cookie;
  return stream;
}

}  // namespace veltra
