#include "SimulatedLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "LinkError.h"
#include "NetworkProperties.h"

namespace veltra::sim {

namespace {

constexpr char kDriverName[] = "Veltra network simulator";
constexpr int kDriverMajor = 1;
constexpr int kDriverMinor = 0;
// How long a closed link waits for its application to finish exiting, so
// that the message can tell how it ended.
constexpr std::chrono::milliseconds kExitWait{500};

bool IsKernelFileName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".krn";
}

// The interpreter named on a "#!" first line, or empty.
std::string InterpreterOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  if (!std::getline(file, line) || line.rfind("#!", 0) != 0) return {};
  size_t begin = line.find_first_not_of(" \t", 2);
  if (begin == std::string::npos) return {};
  size_t end = line.find_first_of(" \t\r", begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

SimulatedLink::SimulatedLink(int boardId)
    : boardId_(boardId), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SimulatedLink::~SimulatedLink() {
  Reset();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::shared_ptr<LinkSocket> SimulatedLink::CurrentSocket() {
  std::lock_guard lock(mutex_);
  if (!socket_) VELTRA_LINK_FAIL(kErrorNoApplication, "No application is loaded on board %d", boardId_);
  return socket_;
}

void SimulatedLink::ThrowClosed(const std::shared_ptr<LinkSocket>& socket, int error, const char* what) {
  // Give an application that closed its end a moment to finish exiting, so
  // that the message can say how it ended. Its end is waited for, not
  // polled: a prompt exit costs no more than the exit itself.
  std::string end;
  int endFd = -1;
  {
    std::lock_guard lock(mutex_);
    if (socket_ != socket)
      VELTRA_LINK_FAIL(kErrorLinkReset, "Board %d was reset while %s the application", boardId_, what);
    if (process_ && !process_->TryReap()) endFd = process_->EndDescriptor();
  }
  if (endFd >= 0) {
    pollfd ended{endFd, POLLIN, 0};
    ::poll(&ended, 1, static_cast<int>(kExitWait.count()));
    ::close(endFd);
  }
  {
    std::lock_guard lock(mutex_);
    if (socket_ != socket)
      VELTRA_LINK_FAIL(kErrorLinkReset, "Board %d was reset while %s the application", boardId_, what);
    if (process_ && process_->TryReap()) end = process_->EndDescription();
  }
  if (end.rfind("killed", 0) == 0) {
    VELTRA_LINK_FAIL(error, "The application on board %d was %s", boardId_, end.c_str());
  }
  if (!end.empty()) {
    VELTRA_LINK_FAIL(error, "The application on board %d closed the link (%s)", boardId_, end.c_str());
  }
  VELTRA_LINK_FAIL(error, "The application on board %d closed the link", boardId_);
}

void SimulatedLink::Read(void* buffer, int count) {
  if (count < 0) VELTRA_LINK_FAIL(EINVAL, "Read of %d bytes from board %d", count, boardId_);
  std::shared_ptr<LinkSocket> socket;
  {
    // One look under the lock serves both questions: a block costs two reads.
    std::lock_guard lock(mutex_);
    if (cancelled_) VELTRA_LINK_FAIL(kErrorCancelled, "read cancelled");
    if (!socket_) VELTRA_LINK_FAIL(kErrorNoApplication, "No application is loaded on board %d", boardId_);
    socket = socket_;
  }
  // The peer must have every byte we have claimed to send before we wait for
  // its answer. Nothing is held between blocks, so this is seldom a call.
  if (int error = socket->Holding() ? socket->Flush(wakeFd_) : 0) {
    if (error == ECANCELED) VELTRA_LINK_FAIL(kErrorCancelled, "write cancelled");
    if (error == EPIPE || error == ECONNRESET) ThrowClosed(socket, error, "writing to");
    VELTRA_LINK_FAIL(error, "Cannot write to the application on board %d: %s", boardId_,
                     std::strerror(error));
  }
  size_t done = 0;
  for (;;) {
    int error = 0;
    switch (socket->Read(static_cast<char*>(buffer), static_cast<size_t>(count), done, wakeFd_, error)) {
      case LinkSocket::Status::kOk:
        return;
      case LinkSocket::Status::kWoken: {
        std::lock_guard lock(mutex_);
        if (cancelled_) VELTRA_LINK_FAIL(kErrorCancelled, "read cancelled");
        // A cancel that was cleared before it could wake us: forget it.
        ClearCancelLocked();
        break;
      }
      case LinkSocket::Status::kClosed:
        ThrowClosed(socket, kErrorLinkClosed, "reading from");
      case LinkSocket::Status::kFailed:
        VELTRA_LINK_FAIL(error, "Cannot read from the application on board %d: %s", boardId_,
                         std::strerror(error));
    }
  }
}

void SimulatedLink::Write(const void* buffer, int count) {
  if (count < 0) VELTRA_LINK_FAIL(EINVAL, "Write of %d bytes to board %d", count, boardId_);
  std::shared_ptr<LinkSocket> socket = CurrentSocket();
  if (int error = socket->Write(static_cast<const char*>(buffer), static_cast<size_t>(count), wakeFd_)) {
    // Cancelled while the application did not read what we sent.
    if (error == ECANCELED) VELTRA_LINK_FAIL(kErrorCancelled, "write cancelled");
    if (error == EPIPE || error == ECONNRESET) ThrowClosed(socket, error, "writing to");
    VELTRA_LINK_FAIL(error, "Cannot write to the application on board %d: %s", boardId_,
                     std::strerror(error));
  }
}

void SimulatedLink::ClearCancelLocked() {
  cancelled_ = false;
  eventfd_t count;
  ::eventfd_read(wakeFd_, &count);
}

void SimulatedLink::Reset() {
  std::unique_ptr<ApplicationProcess> process;
  std::shared_ptr<LinkSocket> socket;
  {
    std::lock_guard lock(mutex_);
    process = std::move(process_);
    socket = std::move(socket_);
    ClearCancelLocked();
  }
  // Shutting the socket down wakes a Read or Write blocked on it in another
  // thread; the descriptor closes when the last of them lets go.
  if (socket) socket->Shutdown();
  if (process) process->Terminate(kTerminateGrace);
}

void SimulatedLink::RunEnded() {
  std::shared_ptr<LinkSocket> socket;
  {
    std::lock_guard lock(mutex_);
    ClearCancelLocked();
    socket = socket_;
    if (process_) process_->TryReap();
  }
  // Nothing stays held back between runs; a peer that is gone, or one that
  // does not read, does not matter here: the run is over.
  if (socket) socket->Flush(-1);
}

void SimulatedLink::Cancel() {
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  cancelled_ = true;
  ::eventfd_write(wakeFd_, 1);
}

bool SimulatedLink::LoadFile(const char* path) {
  loadError_[0] = '\0';
  std::string file = path ? path : "";
  if (file.empty()) {
    SetLoadError("Cannot find application file (no file name given)");
    return false;
  }
  return IsKernelFileName(file) ? LoadKernel(file) : LoadApplication(file);
}

bool SimulatedLink::LoadKernel(const std::string& path) {
  // The simulated network needs no root kernel; a readable file is all we ask.
  // Never waiting for the writer of a named pipe given as the kernel.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetLoadError("Cannot read C4x kernel file %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  char byte;
  bool readable = ::read(fd, &byte, 1) >= 0;
  int error = errno;
  ::close(fd);
  if (!readable) {
    SetLoadError("Cannot read C4x kernel file %s: %s", path.c_str(), std::strerror(error));
    return false;
  }
  return true;
}

bool SimulatedLink::LoadApplication(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      SetLoadError("Cannot find application file %s", path.c_str());
    } else {
      SetLoadError("Cannot start %s: %s", path.c_str(), std::strerror(errno));
    }
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    SetLoadError("Cannot start %s: %s", path.c_str(), std::strerror(EISDIR));
    return false;
  }
  if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0) {
    SetLoadError("%s is not executable (chmod +x, or start it with #!)", path.c_str());
    return false;
  }

  // The child changes directory before it executes, so it is given the path
  // made absolute against ours.
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec).lexically_normal();
  if (ec) {
    SetLoadError("Cannot start %s: %s", path.c_str(), ec.message().c_str());
    return false;
  }
  std::string directory = absolute.parent_path().string();

  // A new load replaces whatever ran on the board before.
  Reset();

  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    SetLoadError("Cannot start %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  int error = 0;
  std::unique_ptr<ApplicationProcess> process =
      ApplicationProcess::Start(absolute.string(), directory, ends[1], error);
  // Our copy of the child's end must go, or its exit would never read as end of file.
  ::close(ends[1]);
  if (!process) {
    ::close(ends[0]);
    std::string interpreter = InterpreterOf(absolute.string());
    if (error == ENOEXEC) {
      SetLoadError("%s is not executable (chmod +x, or start it with #!)", path.c_str());
    } else if (error == ENOENT && !interpreter.empty()) {
      SetLoadError("Cannot start %s: its interpreter %s was not found", path.c_str(), interpreter.c_str());
    } else {
      SetLoadError("Cannot start %s: %s", path.c_str(), std::strerror(error));
    }
    return false;
  }

  auto socket = std::make_shared<LinkSocket>(ends[0]);
  std::unique_ptr<ApplicationProcess> displaced;
  std::shared_ptr<LinkSocket> displacedSocket;
  {
    std::lock_guard lock(mutex_);
    displaced = std::move(process_);
    displacedSocket = std::move(socket_);
    process_ = std::move(process);
    socket_ = std::move(socket);
  }
  // Only a load racing with another could have put something here meanwhile.
  if (displacedSocket) displacedSocket->Shutdown();
  if (displaced) displaced->Terminate(kTerminateGrace);
  return true;
}

void SimulatedLink::SetLoadError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(loadError_, sizeof loadError_, format, args);
  va_end(args);
}

const char* SimulatedLink::LoadError() {
  return loadError_;
}

int SimulatedLink::DriverVersion(char* name, int* major, int* minor) {
  if (name) std::snprintf(name, 128, "%s", kDriverName);
  if (major) *major = kDriverMajor;
  if (minor) *minor = kDriverMinor;
  return 0;
}

void SimulatedLink::ShowProperties() {
  char driver[64];
  std::snprintf(driver, sizeof driver, "%s %d.%d", kDriverName, kDriverMajor, kDriverMinor);
  ShowNetworkProperties(driver, boardId_);
}

pid_t SimulatedLink::RunningPid() {
  std::lock_guard lock(mutex_);
  return process_ && !process_->Ended() ? process_->Pid() : -1;
}

int SimulatedLink::Control(int, int) {
  return 0;
}

}  // namespace veltra::sim
