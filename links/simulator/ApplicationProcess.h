// One simulated application: a child process started with posix_spawn (the
// host has threads, so no bare fork), ended and reaped by its owner. Not
// thread-safe: the owning link guards it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

namespace veltra::sim {

class ApplicationProcess {
 public:
  // Starts the executable at the absolute path in directory, with linkFd
  // open in the child and named by VELTRA_LINK_FD. Returns null with error
  // set to the errno value when it cannot be started.
  static std::unique_ptr<ApplicationProcess> Start(const std::string& path, const std::string& directory,
                                                   int linkFd, int& error);

  // Ends the process if it still runs: no application outlives its owner.
  ~ApplicationProcess();
  ApplicationProcess(const ApplicationProcess&) = delete;
  ApplicationProcess& operator=(const ApplicationProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Ended() const { return ended_; }

  // Reaps the process if it has ended; true once it is gone.
  bool TryReap();
  // SIGTERM, then SIGKILL when it is still there after grace; always reaps.
  void Terminate(std::chrono::milliseconds grace);
  // How it ended: "exit status 3", "killed by signal 9 (Killed)"; empty while it runs.
  std::string EndDescription() const;

 private:
  explicit ApplicationProcess(pid_t pid) : pid_(pid) {}
  void Reaped(int status, bool known);
  bool LeaderEnded();

  pid_t pid_;
  bool ended_ = false;
  bool statusKnown_ = false;
  int status_ = 0;
};

}  // namespace veltra::sim
