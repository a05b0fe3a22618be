#include "ApplicationProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace veltra::sim {

namespace {

constexpr char kLinkFdVariable[] = "VELTRA_LINK_FD=";
// Where the system has no process descriptors, how often an end is looked for.
constexpr std::chrono::milliseconds kPollInterval{5};

// Our environment with VELTRA_LINK_FD naming the child's descriptor.
std::vector<std::string> ChildEnvironment(int linkFd) {
  std::vector<std::string> env;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, kLinkFdVariable, sizeof kLinkFdVariable - 1) != 0) env.emplace_back(*entry);
  }
  env.push_back(kLinkFdVariable + std::to_string(linkFd));
  return env;
}

// In the child between fork and exec: system calls only, nothing that may
// take a lock another thread of the host held at the fork. On failure the
// error number goes to the parent through report.
[[noreturn]] void ExecChild(const char* program, char* const* argv, char* const* envp, const char* directory,
                            int linkFd, int report, pid_t parent) {
  // A process group of its own: a Ctrl-C meant for the host (the terminal
  // signals the host's whole group) does not kill the application under the
  // run the host is about to halt, and ending the group at a reset also ends
  // what a script application started.
  ::setpgid(0, 0);
  // Should the host die without ending it (SIGKILL, a crash), the
  // application dies with it; a host already gone by now is checked after.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  int error = 0;
  if (::getppid() != parent) ::_exit(127);
  // Only the standard streams and the link cross into the application,
  // whatever the host left open without close-on-exec.
  ::syscall(SYS_close_range, 3, linkFd - 1, CLOSE_RANGE_CLOEXEC);
  ::syscall(SYS_close_range, linkFd + 1, ~0U, CLOSE_RANGE_CLOEXEC);
  // Default handling and nothing blocked, whatever the host has set up for
  // its own threads.
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Only this descriptor crosses into the application: ours are all close-on-exec.
  if (::fcntl(linkFd, F_SETFD, 0) != 0 || ::chdir(directory) != 0) {
    error = errno;
  } else {
    ::execve(program, argv, envp);
    error = errno;
  }
  [[maybe_unused]] ssize_t written = ::write(report, &error, sizeof error);
  ::_exit(127);
}

// The guard: a process in the application's group that holds nothing of the
// host but the read end of a pipe whose write end only the host holds. When
// the host is gone, however it went, the pipe reads as ended and the guard
// ends the whole group, itself included: the application's own children
// have no parent-death signal, and the host is no longer there to end them.
[[noreturn]] void GuardGroup(pid_t group, int guardFd) {
  if (::setpgid(0, group) != 0) ::_exit(0);
  if (guardFd != 3) {
    ::dup2(guardFd, 3);
    guardFd = 3;
  }
  ::syscall(SYS_close_range, 0, 2, 0);
  ::syscall(SYS_close_range, 4, ~0U, 0);
  char byte;
  while (::read(guardFd, &byte, 1) != 0 && errno == EINTR) {
  }
  ::kill(0, SIGKILL);
  ::_exit(0);
}

}  // namespace

std::unique_ptr<ApplicationProcess> ApplicationProcess::Start(const std::string& path,
                                                              const std::string& directory, int linkFd,
                                                              int& error) {
  std::vector<std::string> env = ChildEnvironment(linkFd);
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = path;
  char* argv[] = {program.data(), nullptr};

  // A failed chdir or exec comes back through this pipe, so a bad
  // interpreter is a load failure and never a process that vanishes.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = errno;
    return nullptr;
  }
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid == 0) ExecChild(program.c_str(), argv, envp.data(), directory.c_str(), linkFd, report[1], parent);
  int forkError = errno;
  ::close(report[1]);
  if (pid < 0) {
    ::close(report[0]);
    error = forkError;
    return nullptr;
  }
  // The group exists from the fork on, whoever gets to set it first.
  ::setpgid(pid, pid);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = childError;
    return nullptr;
  }
  error = 0;
  int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidFd >= 0) ::fcntl(pidFd, F_SETFD, FD_CLOEXEC);
  auto process = std::unique_ptr<ApplicationProcess>(new ApplicationProcess(pid, pidFd));
  // Without its guard the application still runs; only a host that dies
  // without a reset would leave its children behind.
  int guard[2];
  if (::pipe2(guard, O_CLOEXEC) == 0) {
    pid_t guardPid = ::fork();
    if (guardPid == 0) GuardGroup(pid, guard[0]);
    ::close(guard[0]);
    if (guardPid > 0) {
      process->guardPid_ = guardPid;
      process->guardFd_ = guard[1];
    } else {
      ::close(guard[1]);
    }
  }
  return process;
}

ApplicationProcess::~ApplicationProcess() {
  Terminate(std::chrono::milliseconds(200));
  if (pidFd_ >= 0) ::close(pidFd_);
}

void ApplicationProcess::EndGuard() {
  if (guardFd_ >= 0) ::close(guardFd_);
  guardFd_ = -1;
  if (guardPid_ <= 0) return;
  // Ended by the group's SIGKILL, or by its pipe closing just now.
  ::kill(guardPid_, SIGKILL);
  int status;
  while (::waitpid(guardPid_, &status, 0) < 0 && errno == EINTR) {
  }
  guardPid_ = -1;
}

void ApplicationProcess::Ended(int status, bool known) {
  ended_ = true;
  statusKnown_ = known;
  status_ = status;
}

bool ApplicationProcess::TryReap() {
  if (ended_) return true;
  siginfo_t info{};
  int result;
  do {
    result = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
  } while (result < 0 && errno == EINTR);
  if (result < 0) {
    // ECHILD: the host ignores SIGCHLD and the system reaped it for us.
    Ended(0, false);
    reaped_ = true;
  } else if (info.si_pid == pid_) {
    int status = info.si_code == CLD_EXITED ? (info.si_status & 0xff) << 8 : info.si_status & 0x7f;
    Ended(status, true);
  }
  return ended_;
}

int ApplicationProcess::EndDescriptor() const {
  return pidFd_ >= 0 ? ::fcntl(pidFd_, F_DUPFD_CLOEXEC, 0) : -1;
}

bool ApplicationProcess::WaitForEnd(std::chrono::steady_clock::time_point deadline) {
  while (!TryReap()) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pidFd_ < 0) {
      std::this_thread::sleep_for(std::min(left, kPollInterval));
      continue;
    }
    pollfd end{pidFd_, POLLIN, 0};
    ::poll(&end, 1, static_cast<int>(left.count()));
  }
  return true;
}

void ApplicationProcess::Terminate(std::chrono::milliseconds grace) {
  if (reaped_) {
    EndGuard();
    return;
  }
  // The group is signalled while the application's own process is
  // unreaped, so its number still names this group and no other; the
  // process itself as well, in case it moved to another group.
  ::kill(-pid_, SIGTERM);
  if (!TryReap()) ::kill(pid_, SIGTERM);
  WaitForEnd(std::chrono::steady_clock::now() + grace);
  ::kill(-pid_, SIGKILL);  // what is left of the group, the application included if it lives
  ::kill(pid_, SIGKILL);
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(pid_, &status, 0);
  } while (result < 0 && errno == EINTR);
  if (!ended_) Ended(status, result == pid_);
  reaped_ = true;
  EndGuard();
}

std::string ApplicationProcess::EndDescription() const {
  if (!ended_) return {};
  if (!statusKnown_) return "ended";
  if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
  if (WIFSIGNALED(status_)) {
    int signal = WTERMSIG(status_);
    return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  }
  return "ended";
}

}  // namespace veltra::sim
