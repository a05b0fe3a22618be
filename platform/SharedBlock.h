// A block of memory that every process of a program sees at once, in place
// of a shared data segment of the executable: a POSIX shared memory object,
// zero-filled when made. Beside it lives a lock file: each process that has
// the block open holds a shared lock on it, which the kernel drops when the
// process dies. A process that opens the block while no other holds that lock
// zeroes the block, so a crashed process never leaves a stale block behind.
#pragma once

#include <cstddef>
#include <string>

#include "veltra/Export.h"

namespace veltra {

class VELTRA_EXPORT SharedBlock {
 public:
  SharedBlock() = default;
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // name: the shared memory object ("/name"); lockPath: the lock file, made
  // when missing. False with Error() set when either cannot be had.
  bool Open(const std::string& name, size_t size, const std::string& lockPath);
  void Close();

  void* Data() const { return data_; }
  size_t Size() const { return size_; }
  // Whether this process found no other process with the block open.
  bool WasAlone() const { return wasAlone_; }
  const std::string& Error() const { return error_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
  int lockFd_ = -1;
  bool wasAlone_ = false;
  std::string error_;
};

}  // namespace veltra
