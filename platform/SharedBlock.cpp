#include "platform/SharedBlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veltra {

namespace {

// The start-up of one process at a time: taking the liveness lock and zeroing
// must not interleave with another process doing the same.
class StartupLock {
 public:
  explicit StartupLock(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0)
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~StartupLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

SharedBlock::~SharedBlock() {
  Close();
}

bool SharedBlock::Open(const std::string& name, size_t size, const std::string& lockPath) {
  Close();
  StartupLock startup(lockPath + ".start");
  if (!startup.Held()) {
    error_ = "cannot open " + lockPath + ".start: " + std::strerror(errno);
    return false;
  }
  lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    error_ = "cannot open " + lockPath + ": " + std::strerror(errno);
    return false;
  }
  // An exclusive lock succeeds only when no live process holds its shared one.
  wasAlone_ = flock(lockFd_, LOCK_EX | LOCK_NB) == 0;

  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = "cannot open shared memory " + name + ": " + std::strerror(errno);
    Close();
    return false;
  }
  struct stat info {};
  bool sized = fstat(fd, &info) == 0 &&
               (static_cast<size_t>(info.st_size) >= size || ftruncate(fd, static_cast<off_t>(size)) == 0);
  void* data = sized ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  int savedErrno = errno;
  close(fd);
  if (data == MAP_FAILED) {
    error_ = "cannot map shared memory " + name + ": " + std::strerror(savedErrno);
    Close();
    return false;
  }
  data_ = data;
  size_ = size;
  if (wasAlone_) std::memset(data_, 0, size_);
  // From now on this process counts as alive for every later start.
  while (flock(lockFd_, LOCK_SH) != 0 && errno == EINTR) {
  }
  return true;
}

void SharedBlock::Close() {
  if (data_) munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  if (lockFd_ >= 0) close(lockFd_);
  lockFd_ = -1;
}

}  // namespace veltra
