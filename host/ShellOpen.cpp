#include "host/ShellOpen.h"

#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace veltra {

bool ShellOpen(const std::string& target, const std::string& directory, int waitMilliseconds) {
  const char* command = std::getenv("VELTRA_OPEN_COMMAND");
  std::string program = command && *command ? command : "xdg-open";
  std::vector<char*> argv{program.data(), const_cast<char*>(target.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  pid_t pid = 0;
  int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;

  QElapsedTimer timer;
  timer.start();
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return false;
    if (timer.elapsed() >= waitMilliseconds) break;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    QThread::msleep(5);
  }
  // Still busy: reaped whenever it ends, so no zombie is left behind.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace veltra
