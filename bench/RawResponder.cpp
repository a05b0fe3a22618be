#include "bench/RawResponder.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "bench/BenchProcess.h"

namespace veltra::bench {

namespace {

constexpr int32_t kNoStream = 8;
constexpr int32_t kFailure = 99;
constexpr int kConsoleHandle = 1;
constexpr int kFileHandle = 2;
constexpr int kStderrHandle = 3;
constexpr int kReceiveLimitSeconds = 120;
constexpr uint32_t kGraphCluster = 0x301;
constexpr int32_t kGraphHandle = 0x100;

class Cursor {
 public:
  Cursor(const uint8_t* data, uint32_t length) : data_(data), end_(length) {}
  uint32_t Word() {
    uint32_t word = 0;
    if (at_ + 4 <= end_) std::memcpy(&word, data_ + at_, 4);
    at_ += 4;
    return word;
  }
  // A counted byte string: its bytes stay in the request block.
  const uint8_t* Bytes(uint32_t& count) {
    count = Word();
    if (at_ > end_ || count > end_ - at_) {
      count = 0;
      at_ = end_;
      return data_;
    }
    const uint8_t* bytes = data_ + at_;
    at_ += (count + 3) & ~3u;
    return bytes;
  }

 private:
  const uint8_t* data_;
  uint32_t end_;
  uint32_t at_ = 0;
};

}  // namespace

RawResponder::~RawResponder() {
  CloseFiles();
}

void RawResponder::CloseFiles() {
  if (console_) std::fclose(console_);
  if (file_) std::fclose(file_);
  console_ = file_ = nullptr;
}

bool RawResponder::Run(const std::string& application, const std::string& commandLine,
                       const std::vector<std::string>& environment, std::string& error) {
  application_ = application;
  commandLine_ = commandLine;
  taskEnded_ = false;
  graphCapacity_ = graphCursor_ = 0;
  CloseFiles();
  // Opened for the run, as the server opens its redirection file.
  console_ = std::fopen(consolePath_.c_str(), "w");
  if (!console_) {
    error = "cannot write " + consolePath_;
    return false;
  }
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    error = std::string("socketpair: ") + std::strerror(errno);
    return false;
  }
  // A receive limit, so a stuck application ends the figure instead of
  // hanging it; it adds no system call to a receive.
  timeval limit{kReceiveLimitSeconds, 0};
  ::setsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::vector<std::string> env = environment;
  env.push_back("VELTRA_LINK_FD=" + std::to_string(fds[1]));
  BenchProcess process;
  bool started = process.Start(application, {}, env, fds[1], false, error);
  ::close(fds[1]);
  bool served = started && Serve(fds[0], error);
  ::close(fds[0]);
  int status = started ? process.Wait() : -1;
  CloseFiles();
  if (!started || !served) return false;
  if (status != 0) {
    error = application + " ended with status " + std::to_string(status);
    return false;
  }
  return true;
}

bool RawResponder::Serve(int fd, std::string& error) {
  constexpr size_t kCapacity = 64 * 1024;
  std::unique_ptr<uint8_t[]> input(new uint8_t[kCapacity]);
  size_t start = 0;
  size_t end = 0;
  for (;;) {
    // Every complete block at hand first.
    while (end - start >= 4) {
      uint32_t length;
      std::memcpy(&length, input.get() + start, 4);
      if (length == 0 || length > kMaxBlock || length % 4 != 0) {
        error = "bad block length " + std::to_string(length);
        return false;
      }
      if (end - start < 4 + length) break;
      if (!Answer(fd, input.get() + start + 4, length, error)) return false;
      start += 4 + length;
    }
    if (start == end) {
      start = end = 0;
    } else if (kCapacity - end < 4 + kMaxBlock) {
      std::memmove(input.get(), input.get() + start, end - start);
      end -= start;
      start = 0;
    }
    ssize_t got = ::recv(fd, input.get() + end, kCapacity - end, 0);
    if (got > 0) {
      end += static_cast<size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 && start == end && taskEnded_) return true;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      error = "the application sent nothing for " + std::to_string(kReceiveLimitSeconds) + " s";
    else if (got == 0)
      error = "the application closed the link before ending its task";
    else
      error = std::string("recv: ") + std::strerror(errno);
    return false;
  }
}

void RawResponder::Put(uint32_t word) {
  std::memcpy(reply_ + 4 + replySize_, &word, 4);
  replySize_ += 4;
}

void RawResponder::PutBytes(const void* data, uint32_t count) {
  Put(count);
  uint32_t padded = (count + 3) & ~3u;
  if (data && count > 0)
    std::memcpy(reply_ + 4 + replySize_, data, count);
  else
    std::memset(reply_ + 4 + replySize_, 0, count);
  std::memset(reply_ + 4 + replySize_ + count, 0, padded - count);
  replySize_ += padded;
}

bool RawResponder::Send(int fd) {
  std::memcpy(reply_, &replySize_, 4);
  const uint8_t* at = reply_;
  size_t left = 4 + replySize_;
  while (left > 0) {
    ssize_t sent = ::send(fd, at, left, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += sent;
    left -= static_cast<size_t>(sent);
  }
  return true;
}

std::FILE* RawResponder::Stream(int32_t handle) {
  switch (handle) {
    case kConsoleHandle:
      return console_;
    case kFileHandle:
      return file_;
    case kStderrHandle:
      return stderr;
    default:
      return nullptr;
  }
}

bool RawResponder::Answer(int fd, const uint8_t* data, uint32_t length, std::string& error) {
  Cursor in(data, length);
  uint32_t word = in.Word();
  bool noReply = (word & 0x80000000u) != 0;
  uint32_t cluster = (word >> 8) & 0xFFFF;
  uint32_t service = word & 0xFF;
  replySize_ = 0;
  int32_t result = 0;
  uint32_t count = 0;
  if (cluster == 1 && service == 2) {  // program name and arguments
    PutBytes(application_.data(), static_cast<uint32_t>(application_.size()));
    PutBytes(commandLine_.data(), static_cast<uint32_t>(commandLine_.size()));
  } else if (cluster == 1 && service == 4) {  // echo
    const uint8_t* bytes = in.Bytes(count);
    PutBytes(bytes, count);
  } else if (cluster == 1 && service == 5) {  // sink
    in.Bytes(count);
  } else if (cluster == 1 && service == 6) {  // source
    count = in.Word();
    if (count > 4096) count = 0, result = kFailure;
    PutBytes(nullptr, count);
  } else if (cluster == 0 && service == 1) {  // open a file for writing
    const uint8_t* name = in.Bytes(count);
    std::string path(reinterpret_cast<const char*>(name), count);
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "wb");
    Put(file_ ? kFileHandle : static_cast<uint32_t>(-1));
    if (!file_) result = kFailure;
  } else if (cluster == 0 && service == 4) {  // console output stream
    Put(in.Word() == 0 ? kConsoleHandle : kStderrHandle);
  } else if (cluster == 0 && service == 11) {  // close
    int32_t handle = static_cast<int32_t>(in.Word());
    if (handle == kFileHandle && file_) {
      result = std::fclose(file_) == 0 ? 0 : kFailure;
      file_ = nullptr;
    }
  } else if (cluster == 0 && service == 13) {  // write
    int32_t handle = static_cast<int32_t>(in.Word());
    const uint8_t* bytes = in.Bytes(count);
    std::FILE* stream = Stream(handle);
    if (!stream) {
      Put(0);
      result = kNoStream;
    } else {
      uint32_t written = static_cast<uint32_t>(std::fwrite(bytes, 1, count, stream));
      Put(written);
      if (written != count) result = kFailure;
    }
  } else if (cluster == 0 && service == 24) {  // end of the task
    taskEnded_ = true;
    noReply = noReply || in.Word() != 0;
  } else if (cluster == 0 && service == 25) {  // exit status
    in.Word();
  } else if (cluster == 0 && service == 28) {  // time
    Put(static_cast<uint32_t>(std::time(nullptr)));
  } else if (cluster == kGraphCluster && service == 1) {  // open a graph: one at a time
    in.Bytes(count);
    int32_t capacity = static_cast<int32_t>(in.Word());
    graphCapacity_ = capacity > 0 ? static_cast<uint32_t>(capacity) : 0;
    graphCursor_ = 0;
    result = graphCapacity_ > 0 ? kGraphHandle : kFailure;
  } else if (cluster == kGraphCluster && (service == 2 || service == 7)) {  // close, show
    if (static_cast<int32_t>(in.Word()) != kGraphHandle || graphCapacity_ == 0) result = kFailure;
    graphCursor_ = 0;
    if (service == 2) graphCapacity_ = 0;
  } else if (cluster == kGraphCluster && service == 9) {  // AppendData: checked and taken, as a sink
    bool known = static_cast<int32_t>(in.Word()) == kGraphHandle && graphCapacity_ > 0;
    uint32_t samples = in.Word();
    in.Bytes(count);
    if (!known || count != 8ull * samples || samples > graphCapacity_ - graphCursor_)
      result = kFailure;
    else
      graphCursor_ += samples;
  } else {
    error = "the raw transport has no service " + std::to_string(cluster) + "/" + std::to_string(service);
    return false;
  }
  if (noReply) return true;
  Put(static_cast<uint32_t>(result));
  if (!Send(fd)) {
    error = std::string("send: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace veltra::bench
