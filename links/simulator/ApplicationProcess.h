// One simulated application: a child process in a process group of its own,
// ended and reaped by its owner. Its own process is never reaped before the
// owner ends the group: while it is an unreaped zombie its number cannot
// name another process or group, so signalling the group stays safe after
// the application itself has exited. Not thread-safe: the owning link
// guards it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

namespace veltra::sim {

class ApplicationProcess {
 public:
  // Starts the executable at the absolute path in directory, with linkFd
  // open in the child and named by VELTRA_LINK_FD. Should its owner never
  // get to end it, the process ends with the thread that starts it (and so
  // with the host process), and a guard process in its group ends the rest
  // of the group when the host is gone. Returns null with error set to the
  // errno value when it cannot be started.
  static std::unique_ptr<ApplicationProcess> Start(const std::string& path, const std::string& directory,
                                                   int linkFd, int& error);

  // Ends the process group if it still runs: no application outlives its owner.
  ~ApplicationProcess();
  ApplicationProcess(const ApplicationProcess&) = delete;
  ApplicationProcess& operator=(const ApplicationProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Whether the application's own process has ended (it may still be unreaped).
  bool Ended() const { return ended_; }

  // Notes the end of the application's own process, without reaping it;
  // true once it has ended.
  bool TryReap();
  // Waits until the application's own process ends or the deadline passes;
  // true when it has ended.
  bool WaitForEnd(std::chrono::steady_clock::time_point deadline);
  // A descriptor that becomes readable when the process ends (a duplicate
  // the caller closes), or -1 where the system offers none.
  int EndDescriptor() const;
  // SIGTERM to the group, SIGKILL to what is left of it when the
  // application's own process has not ended within grace (at once when it
  // had ended already); always reaps.
  void Terminate(std::chrono::milliseconds grace);
  // How it ended: "exit status 3", "killed by signal 9 (Killed)"; empty while it runs.
  std::string EndDescription() const;

 private:
  ApplicationProcess(pid_t pid, int pidFd) : pid_(pid), pidFd_(pidFd) {}
  void Ended(int status, bool known);
  void StartGuard();
  void EndGuard();

  pid_t pid_;
  int pidFd_;  // readable once the process has ended; -1 without pidfd support
  // The group's guard process (see Start) and our end of its pipe.
  pid_t guardPid_ = -1;
  int guardFd_ = -1;
  void* guardStack_ = nullptr;  // the guard's own stack when it shares our memory
  bool ended_ = false;
  bool reaped_ = false;
  bool statusKnown_ = false;
  int status_ = 0;
};

}  // namespace veltra::sim
