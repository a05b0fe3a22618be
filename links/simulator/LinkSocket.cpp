#include "LinkSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veltra::sim {

LinkSocket::LinkSocket(int fd)
    : fd_(fd), readBuffer_(new char[kReadBufferSize]), sendBuffer_(new char[kSendBufferSize]) {
  // A blocking receive wakes this often to look for a cancel, so waiting for
  // a block costs one system call instead of a failed receive, a poll and a
  // receive. A cancel is seen within this time; a reset shuts the socket
  // down and wakes the receive at once.
  timeval limit{0, kCancelCheckMicroseconds};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

LinkSocket::~LinkSocket() {
  ::close(fd_);
}

void LinkSocket::Shutdown() {
  ::shutdown(fd_, SHUT_RDWR);
}

LinkSocket::Status LinkSocket::Read(char* buffer, size_t count, size_t& done, int wakeFd, int& error) {
  while (done < count) {
    if (readStart_ < readEnd_) {
      size_t n = std::min(readEnd_ - readStart_, count - done);
      std::memcpy(buffer + done, readBuffer_.get() + readStart_, n);
      readStart_ += n;
      done += n;
      continue;
    }
    // Large reads go straight to the caller; small ones take whatever is
    // waiting, so the next few reads cost no system call.
    size_t want = count - done;
    bool direct = want >= kReadBufferSize;
    char* target = direct ? buffer + done : readBuffer_.get();
    size_t room = direct ? want : kReadBufferSize;
    ssize_t got = ::recv(fd_, target, room, 0);
    if (got > 0) {
      if (direct) {
        done += static_cast<size_t>(got);
      } else {
        readStart_ = 0;
        readEnd_ = static_cast<size_t>(got);
      }
      continue;
    }
    if (got == 0) return Status::kClosed;
    if (errno == EINTR) continue;
    if (errno == ECONNRESET) return Status::kClosed;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error = errno;
      return Status::kFailed;
    }
    // The receive timed out: only a pending cancel needs a look.
    pollfd wake = {wakeFd, POLLIN, 0};
    int ready = ::poll(&wake, 1, 0);
    if (ready < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return Status::kFailed;
    }
    if (wake.revents & POLLIN) return Status::kWoken;
  }
  return Status::kOk;
}

int LinkSocket::Write(const char* data, size_t count, int wakeFd) {
  std::lock_guard lock(sendMutex_);
  if (count == sizeof held_ && heldCount_ == 0) {
    std::memcpy(held_, data, sizeof held_);
    heldCount_ = sizeof held_;
    holding_.store(true, std::memory_order_relaxed);
    return 0;
  }
  return SendLocked(data, count, wakeFd);
}

int LinkSocket::Flush(int wakeFd) {
  std::lock_guard lock(sendMutex_);
  return SendLocked(nullptr, 0, wakeFd);
}

int LinkSocket::WaitToSend(int wakeFd) {
  if (errno == EINTR) return 0;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
  if (wakeFd < 0) return EAGAIN;
  pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
  if (::poll(fds, 2, -1) < 0 && errno != EINTR) return errno;
  if (fds[1].revents & POLLIN) return ECANCELED;
  return 0;
}

int LinkSocket::SendAll(const char* data, size_t count, int wakeFd) {
  while (count > 0) {
    // Never blocking: an application that does not read must not hold the
    // sender beyond a cancel. The wait costs nothing while the peer keeps up.
    ssize_t sent = ::send(fd_, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (int error = WaitToSend(wakeFd)) return error;
      continue;
    }
    data += sent;
    count -= static_cast<size_t>(sent);
  }
  return 0;
}

int LinkSocket::SendLocked(const char* data, size_t count, int wakeFd) {
  if (heldCount_ == 0) return SendAll(data, count, wakeFd);
  holding_.store(false, std::memory_order_relaxed);
  // A block's length word and its data: sendmsg with two parts costs more in
  // the kernel than copying them together here.
  if (heldCount_ + count <= kSendBufferSize) {
    std::memcpy(sendBuffer_.get(), held_, heldCount_);
    if (count > 0) std::memcpy(sendBuffer_.get() + heldCount_, data, count);
    size_t total = heldCount_ + count;
    heldCount_ = 0;
    return SendAll(sendBuffer_.get(), total, wakeFd);
  }
  iovec parts[2];
  int partCount = 0;
  if (heldCount_ > 0) parts[partCount++] = {held_, heldCount_};
  if (count > 0) parts[partCount++] = {const_cast<char*>(data), count};
  heldCount_ = 0;
  iovec* next = parts;
  while (partCount > 0) {
    msghdr message{};
    message.msg_iov = next;
    message.msg_iovlen = static_cast<size_t>(partCount);
    ssize_t sent = ::sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (int error = WaitToSend(wakeFd)) return error;
      continue;
    }
    size_t left = static_cast<size_t>(sent);
    while (partCount > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --partCount;
    }
    if (partCount > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return 0;
}

}  // namespace veltra::sim
