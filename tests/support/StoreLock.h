// Another process holding a settings database in an exclusive transaction:
// the sqlite3 command-line shell, for the tests of what the store does when
// it is busy.
#pragma once

#include <sys/types.h>

#include <string>

namespace veltra::test {

class StoreLock {
 public:
  // Starts the shell, which takes the lock and keeps it for `seconds`.
  StoreLock(const std::string& database, int seconds);
  ~StoreLock();  // waits for the shell
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  // Waits up to ten seconds until the lock is really held. False when it
  // never was.
  bool WaitUntilHeld();
  // Waits for the shell's end; true when its transaction went through.
  bool Finish();

 private:
  std::string database_;
  pid_t shell_ = 0;
  bool finished_ = false;
  bool succeeded_ = false;
};

}  // namespace veltra::test
