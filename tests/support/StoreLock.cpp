#include "tests/support/StoreLock.h"

#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace veltra::test {

StoreLock::StoreLock(const std::string& database, int seconds) : database_(database) {
  // The shell waits for a busy database too: the poll of WaitUntilHeld reads
  // while it starts.
  std::string script = "(echo '.timeout 10000'; echo 'BEGIN EXCLUSIVE;'; sleep " + std::to_string(seconds) +
                       "; echo 'COMMIT;') | sqlite3 '" + database + "'";
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
  if (posix_spawn(&shell_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) shell_ = 0;
}

StoreLock::~StoreLock() {
  Finish();
}

bool StoreLock::WaitUntilHeld() {
  if (!shell_) return false;
  auto held = [&] {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    int code = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return code == SQLITE_BUSY;
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!held()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool StoreLock::Finish() {
  if (!finished_ && shell_) {
    int status = 0;
    succeeded_ = waitpid(shell_, &status, 0) == shell_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  finished_ = true;
  return succeeded_;
}

}  // namespace veltra::test
