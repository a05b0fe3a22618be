#include "FakeServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace veltra::test {
namespace {

constexpr uint32_t kBlockMax = 8292;
constexpr uint32_t kSignalLength = 0x10004;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error(std::string("fake server: send failed: ") + std::strerror(errno));
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void ReadExact(int fd, uint8_t* data, size_t size, int timeoutMs) {
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) throw std::runtime_error("fake server: timed out waiting for a block");
    ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("fake server: link closed by the application");
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

FakeServer::FakeServer() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    throw std::runtime_error("fake server: socketpair failed");
  serverFd_ = fds[0];
  clientFd_ = fds[1];
}

FakeServer::~FakeServer() {
  CloseClientEnd();
  CloseServerEnd();
}

void FakeServer::CloseClientEnd() {
  if (clientFd_ >= 0) ::close(clientFd_);
  clientFd_ = -1;
}

void FakeServer::CloseServerEnd() {
  if (serverFd_ >= 0) ::close(serverFd_);
  serverFd_ = -1;
}

std::vector<uint8_t> FakeServer::ReadBlock(int timeoutMs) {
  uint8_t word[4];
  ReadExact(serverFd_, word, 4, timeoutMs);
  uint32_t length = Get32(word);
  if (length == 0 || length > kBlockMax || length % 4 != 0)
    throw std::runtime_error("fake server: bad block length " + std::to_string(length));
  std::vector<uint8_t> data(length);
  ReadExact(serverFd_, data.data(), length, timeoutMs);
  return data;
}

bool FakeServer::Quiet(int timeoutMs) {
  pollfd p{serverFd_, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 0;
}

void FakeServer::Fetch() {
  block_ = ReadBlock();
  cursor_ = 0;
  blockSizes_.push_back(block_.size());
}

uint32_t FakeServer::BeginRequest() {
  block_.clear();
  cursor_ = 0;
  blockSizes_.clear();
  return Word();
}

void FakeServer::EndRequest() {
  if (cursor_ != block_.size())
    throw std::runtime_error("fake server: " + std::to_string(block_.size() - cursor_) +
                             " bytes left over after the request");
}

uint32_t FakeServer::Word() {
  if (cursor_ == block_.size()) Fetch();
  if (cursor_ + 4 > block_.size()) throw std::runtime_error("fake server: word runs past its block");
  uint32_t value = Get32(block_.data() + cursor_);
  cursor_ += 4;
  return value;
}

double FakeServer::Double() {
  if (cursor_ == block_.size()) Fetch();
  if (cursor_ + 8 > block_.size()) throw std::runtime_error("fake server: double runs past its block");
  uint64_t bits = uint64_t(Get32(block_.data() + cursor_)) | uint64_t(Get32(block_.data() + cursor_ + 4))
                                                                 << 32;
  cursor_ += 8;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string FakeServer::Bytes() {
  uint32_t n = Word();
  size_t padded = (size_t(n) + 3) & ~size_t(3);
  if (cursor_ + padded > block_.size())
    throw std::runtime_error("fake server: byte string runs past its block");
  std::string value(reinterpret_cast<const char*>(block_.data() + cursor_), n);
  cursor_ += padded;
  return value;
}

FakeServer::Reply& FakeServer::Reply::Word(uint32_t value) {
  Put32(data_, value);
  return *this;
}

FakeServer::Reply& FakeServer::Reply::Double(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Put32(data_, static_cast<uint32_t>(bits));
  Put32(data_, static_cast<uint32_t>(bits >> 32));
  return *this;
}

FakeServer::Reply& FakeServer::Reply::Bytes(const std::string& value) {
  Put32(data_, static_cast<uint32_t>(value.size()));
  data_.insert(data_.end(), value.begin(), value.end());
  while (data_.size() % 4 != 0) data_.push_back(0xEE);  // padding content is unspecified
  return *this;
}

void FakeServer::Send(const Reply& values, int32_t result) {
  std::vector<uint8_t> block;
  Put32(block, static_cast<uint32_t>(values.Data().size() + 4));
  block.insert(block.end(), values.Data().begin(), values.Data().end());
  Put32(block, static_cast<uint32_t>(result));
  WriteAll(serverFd_, block.data(), block.size());
}

void FakeServer::SendSignal(uint32_t mask) {
  std::vector<uint8_t> block;
  Put32(block, kSignalLength);
  Put32(block, mask);
  WriteAll(serverFd_, block.data(), block.size());
}

void FakeServer::SendRaw(const void* data, size_t size) {
  WriteAll(serverFd_, static_cast<const uint8_t*>(data), size);
}

ChildApp::ChildApp(FakeServer& server, const std::string& path, bool withLink) {
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("child: pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("child: fork failed");
  if (pid_ == 0) {
    ::dup2(errPipe[1], STDERR_FILENO);
    constexpr int kLinkFd = 17;
    if (withLink) {
      if (server.ClientFd() == kLinkFd)
        ::fcntl(kLinkFd, F_SETFD, 0);
      else
        ::dup2(server.ClientFd(), kLinkFd);  // the copy survives exec
      ::setenv("VELTRA_LINK_FD", std::to_string(kLinkFd).c_str(), 1);
    } else {
      ::unsetenv("VELTRA_LINK_FD");
    }
    ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    ::_exit(126);
  }
  ::close(errPipe[1]);
  stderrFd_ = errPipe[0];
  // The application's end now lives in the child only, so its exit closes the link.
  server.CloseClientEnd();
}

ChildApp::~ChildApp() {
  if (pid_ > 0) Wait(1000);
  if (stderrFd_ >= 0) ::close(stderrFd_);
}

int ChildApp::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

std::string ChildApp::OwnStderr() {
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(stderrFd_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

bool MiniBasalt::ServeOne() {
  FakeServer& s = server_;
  uint32_t word = s.BeginRequest();
  requestWords.push_back(word);
  bool noReply = (word & 0x80000000u) != 0;
  uint32_t cluster = (word >> 8) & 0xFFFF;
  uint32_t service = word & 0xFF;
  FakeServer::Reply reply;
  int32_t result = 0;
  constexpr uint32_t kStdin = 10, kStdout = 11, kStderr = 12;
  if (cluster == 1 && service == 2) {
    reply.Bytes(programName).Bytes(arguments);
  } else if (cluster == 1 && service == 1) {
    exceptions.push_back({s.Word(), s.Word(), s.Word(), s.Word()});
  } else if (cluster == 0 && service == 3) {
    uint32_t selector = s.Word();
    reply.Word(selector == 0 ? kStdin : 0xFFFFFFFF);
    result = selector == 0 ? 0 : 7;
  } else if (cluster == 0 && service == 4) {
    uint32_t selector = s.Word();
    reply.Word(selector == 0 ? kStdout : kStderr);
  } else if (cluster == 0 && service == 12) {
    uint32_t handle = s.Word();
    s.Word();  // count: a console stream answers with one line whatever it is
    if (handle != kStdin) {
      reply.Bytes("");
      result = 8;
    } else if (nextInput_ < input.size()) {
      // A line reader with a 4096-byte buffer: at most 4095 characters.
      std::string& line = input[nextInput_];
      reply.Bytes(line.substr(0, 4095));
      if (line.size() > 4095)
        line.erase(0, 4095);
      else
        ++nextInput_;
    } else {
      reply.Bytes("");
      result = 1;
    }
  } else if (cluster == 0 && service == 13) {
    uint32_t handle = s.Word();
    std::string text = s.Bytes();
    if (handle == kStdout)
      out += text;
    else if (handle == kStderr)
      err += text;
    else
      result = 8;
    reply.Word(result == 0 ? static_cast<uint32_t>(text.size()) : 0);
  } else if (cluster == 0 && service == 25) {
    exitStatus = static_cast<int32_t>(s.Word());
  } else if (cluster == 0 && service == 24) {
    if (s.Word() != 0) noReply = true;
    ended = true;
  } else {
    throw std::runtime_error("mini server: unexpected request " + std::to_string(cluster) + "." +
                             std::to_string(service));
  }
  s.EndRequest();
  if (!noReply) s.Send(reply, result);
  return !ended;
}

void MiniBasalt::ServeToEnd() {
  while (ServeOne()) {
  }
}

std::string ExamplePath(const std::string& name) {
  const char* bin = std::getenv("VELTRA_TEST_BIN");
  std::string dir = bin ? std::string(bin) + "/examples/" : std::string("examples/");
  return dir + name + ".app";
}

}  // namespace veltra::test
