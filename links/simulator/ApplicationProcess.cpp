#include "ApplicationProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
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

// What the child of a start needs, and where it leaves the error number of a
// failed chdir or exec: it runs in the host's memory until it execs.
struct ChildStart {
  const char* program;
  char* const* argv;
  char* const* envp;
  const char* directory;
  int linkFd;
  pid_t parent;
  int error;
  int reportFd;  // a forked child writes its error here; -1 in our memory
};

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer keeps its books in the starting thread's storage, which a
// child in our memory would write to with every call it intercepts: there
// the child is a forked copy.
constexpr bool kChildSharesMemory = false;
#else
constexpr bool kChildSharesMemory = true;
#endif

// The child between its start and exec, on a stack of its own in the host's
// memory while the starting thread waits (no copy of the host's pages is
// made, and none is copied back on the host's next writes): system calls
// only, nothing that may take a lock another thread of the host holds. Every
// signal is blocked from before the start, so no handler of the host runs
// here.
int ExecChild(void* argument) {
  auto* start = static_cast<ChildStart*>(argument);
  // A process group of its own: a Ctrl-C meant for the host (the terminal
  // signals the host's whole group) does not kill the application under the
  // run the host is about to halt, and ending the group at a reset also ends
  // what a script application started.
  ::setpgid(0, 0);
  // Should the host die without ending it (SIGKILL, a crash), the
  // application dies with it; a host already gone by now is checked after.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != start->parent) ::_exit(127);
  // Only the standard streams and the link cross into the application,
  // whatever the host left open without close-on-exec.
  int linkFd = start->linkFd;
  ::syscall(SYS_close_range, 3, linkFd - 1, CLOSE_RANGE_CLOEXEC);
  ::syscall(SYS_close_range, linkFd + 1, ~0U, CLOSE_RANGE_CLOEXEC);
  // Default handling and nothing blocked, whatever the host has set up for
  // its own threads. Straight to the kernel: a sanitizer's own sigaction
  // would record the defaults in tables it shares with the host here. The
  // kernel's sigaction for the default is all zeros, whatever its layout.
  uint64_t standard[4] = {};
  for (int signal = 1; signal < NSIG; ++signal)
    ::syscall(SYS_rt_sigaction, signal, standard, nullptr, sizeof(uint64_t));
  uint64_t none = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
  // Only this descriptor crosses into the application: ours are all close-on-exec.
  if (::fcntl(linkFd, F_SETFD, 0) != 0 || ::chdir(start->directory) != 0) {
    start->error = errno;
  } else {
    ::execve(start->program, start->argv, start->envp);
    start->error = errno;
  }
  if (start->reportFd >= 0) {
    ssize_t written = ::write(start->reportFd, &start->error, sizeof start->error);
    (void)written;
  }
  ::_exit(127);
}

// Blocks every signal of the calling thread for a start, and restores them:
// through the kernel, as the C library's call leaves two signals of its own
// unblocked, whose handlers must not run in a child that shares our memory.
class AllSignalsBlocked {
 public:
  AllSignalsBlocked() {
    uint64_t all = ~uint64_t{0};
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &saved_, sizeof all);
  }
  ~AllSignalsBlocked() { ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &saved_, nullptr, sizeof saved_); }
  AllSignalsBlocked(const AllSignalsBlocked&) = delete;
  AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

 private:
  uint64_t saved_ = 0;  // the kernel's signal set: 64 bits
};

// The guard: a process in the application's group that holds nothing of the
// host but the read end of a pipe whose write end only the host holds. When
// the host is gone, however it went, the pipe reads as ended and the guard
// ends the whole group, itself included: the application's own children
// have no parent-death signal, and the host is no longer there to end them.
//
// It shares the host's memory instead of a copy of it (a forked guard would
// make the host copy every page it writes while the application runs), so
// it runs on a stack of its own, with every signal blocked (no handler of
// the host may run in it), and makes its system calls directly: the C
// library's would write error numbers into the starting thread's storage.
struct GuardStart {
  pid_t group;
  int fd;
};

#if (defined(__x86_64__) || defined(__aarch64__)) && !defined(__SANITIZE_THREAD__)
constexpr bool kGuardSharesMemory = true;
#else
constexpr bool kGuardSharesMemory = false;
#endif
constexpr size_t kGuardStackSize = 16 * 1024;

// Valgrind follows no process that shares memory without being a thread (it
// ends the host instead); under it the guard is a forked copy as before.
bool GuardMayShareMemory() {
  if (!kGuardSharesMemory) return false;
  const char* preload = std::getenv("LD_PRELOAD");
  return !(preload && std::strstr(preload, "vgpreload"));
}

// Nothing in the guard may reach the starting thread's storage, which the
// stack protector and the sanitizers' bookkeeping use.
#if defined(__has_attribute) && __has_attribute(no_stack_protector)
#define VELTRA_GUARD_CODE __attribute__((no_stack_protector, no_sanitize_address, no_sanitize_thread))
#else
#define VELTRA_GUARD_CODE __attribute__((no_sanitize_address, no_sanitize_thread))
#endif

#if defined(__x86_64__)
__attribute__((always_inline)) VELTRA_GUARD_CODE inline long RawSyscall(long number, long a = 0, long b = 0,
                                                                        long c = 0) {
  long result;
  asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
  return result;
}
#elif defined(__aarch64__)
__attribute__((always_inline)) VELTRA_GUARD_CODE inline long RawSyscall(long number, long a = 0, long b = 0,
                                                                        long c = 0) {
  register long x8 asm("x8") = number;
  register long x0 asm("x0") = a;
  register long x1 asm("x1") = b;
  register long x2 asm("x2") = c;
  asm volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2) : "memory");
  return x0;
}
#else
__attribute__((always_inline)) VELTRA_GUARD_CODE inline long RawSyscall(long number, long a = 0, long b = 0,
                                                                        long c = 0) {
  return ::syscall(number, a, b, c);
}
#endif

[[noreturn]] VELTRA_GUARD_CODE void GuardGroup(pid_t group, int guardFd) {
  if (RawSyscall(SYS_setpgid, 0, group) != 0) {
    for (;;) RawSyscall(SYS_exit, 0);
  }
  if (guardFd != 3) {
    RawSyscall(SYS_dup3, guardFd, 3, 0);
    guardFd = 3;
  }
  RawSyscall(SYS_close_range, 0, 2, 0);
  RawSyscall(SYS_close_range, 4, ~0U, 0);
  char byte;
  while (RawSyscall(SYS_read, guardFd, reinterpret_cast<long>(&byte), 1) == -EINTR) {
  }
  RawSyscall(SYS_kill, 0, SIGKILL);
  for (;;) RawSyscall(SYS_exit, 0);
}

VELTRA_GUARD_CODE int GuardMain(void* argument) {
  auto* start = static_cast<const GuardStart*>(argument);
  GuardGroup(start->group, start->fd);
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

  ChildStart child{program.c_str(), argv, envp.data(), directory.c_str(), linkFd, ::getpid(), 0, -1};
  // The child's stack while it runs in our memory: it needs little, and
  // we wait until it has exec'd or failed.
  alignas(16) char childStack[32 * 1024];
  pid_t pid;
  int startError;
  if (kChildSharesMemory) {
    AllSignalsBlocked blocked;
    pid = ::clone(ExecChild, childStack + sizeof childStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &child);
    startError = errno;
  } else {
    // The error of a failed start comes through a pipe that a successful
    // exec closes.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
      error = errno;
      return nullptr;
    }
    child.reportFd = report[1];
    {
      AllSignalsBlocked blocked;
      pid = ::fork();
      startError = errno;
      if (pid == 0) ExecChild(&child);
    }
    ::close(report[1]);
    if (pid > 0) {
      ssize_t n;
      while ((n = ::read(report[0], &child.error, sizeof child.error)) < 0 && errno == EINTR) {
      }
      if (n != static_cast<ssize_t>(sizeof child.error)) child.error = 0;
    }
    ::close(report[0]);
  }
  if (pid < 0) {
    error = startError;
    return nullptr;
  }
  // The group exists from the start on, whoever gets to set it first.
  ::setpgid(pid, pid);
  if (child.error != 0) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = child.error;
    return nullptr;
  }
  error = 0;
  int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidFd >= 0) ::fcntl(pidFd, F_SETFD, FD_CLOEXEC);
  auto process = std::unique_ptr<ApplicationProcess>(new ApplicationProcess(pid, pidFd));
  process->StartGuard();
  return process;
}

// Without its guard the application still runs; only a host that dies
// without a reset would leave its children behind.
void ApplicationProcess::StartGuard() {
  int guard[2];
  if (::pipe2(guard, O_CLOEXEC) != 0) return;
  pid_t guardPid = -1;
  if (GuardMayShareMemory()) {
    void* stack = ::mmap(nullptr, kGuardStackSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack != MAP_FAILED) {
      // What the guard reads lies at the foot of its stack, which stays
      // mapped until the guard has been reaped.
      auto* start = new (stack) GuardStart{pid_, guard[0]};
      AllSignalsBlocked blocked;
      guardPid = ::clone(GuardMain, static_cast<char*>(stack) + kGuardStackSize, CLONE_VM | SIGCHLD, start);
      if (guardPid > 0) {
        guardStack_ = stack;
      } else {
        ::munmap(stack, kGuardStackSize);
      }
    }
  } else {
    AllSignalsBlocked blocked;
    guardPid = ::fork();
    if (guardPid == 0) GuardGroup(pid_, guard[0]);
  }
  ::close(guard[0]);
  if (guardPid > 0) {
    guardPid_ = guardPid;
    guardFd_ = guard[1];
  } else {
    ::close(guard[1]);
  }
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
  // Whoever reaped it, it has ended: its stack is no longer in use.
  if (guardStack_) ::munmap(guardStack_, kGuardStackSize);
  guardStack_ = nullptr;
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
