#include "ApplicationProcess.h"

#include <signal.h>
#include <spawn.h>
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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  // Duplicating a descriptor onto itself clears close-on-exec in the child
  // only: the parent's copy stays close-on-exec, so applications started
  // on other boards never inherit this one.
  posix_spawn_file_actions_adddup2(&actions, linkFd, linkFd);

  // The application starts with default signal handling and nothing
  // blocked, whatever the host has set up for its own threads.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  // A process group of its own: a Ctrl-C meant for the host (the terminal
  // signals the host's whole group) does not kill the application under the
  // run the host is about to halt, and ending the group at a reset also ends
  // what a script application started.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  pid_t pid = -1;
  // posix_spawn reports a failed chdir or exec as its result, so a bad
  // interpreter is a load failure and never a process that vanishes.
  error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return nullptr;
  return std::unique_ptr<ApplicationProcess>(new ApplicationProcess(pid));
}

ApplicationProcess::~ApplicationProcess() {
  Terminate(std::chrono::milliseconds(200));
}

void ApplicationProcess::Reaped(int status, bool known) {
  ended_ = true;
  statusKnown_ = known;
  status_ = status;
}

bool ApplicationProcess::TryReap() {
  if (ended_) return true;
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(pid_, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_) {
    Reaped(status, true);
  } else if (result < 0) {
    // ECHILD: the host ignores SIGCHLD and the system reaped it for us.
    Reaped(0, false);
  }
  return ended_;
}

// Whether the application's own process has ended, without reaping it: until
// it is reaped its number cannot name another process or group.
bool ApplicationProcess::LeaderEnded() {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return errno != EINTR;  // ECHILD: reaped by the system already
  return info.si_pid == pid_;
}

void ApplicationProcess::Terminate(std::chrono::milliseconds grace) {
  if (ended_) return;
  siginfo_t probe{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &probe, WEXITED | WNOHANG | WNOWAIT) != 0 && errno == ECHILD) {
    Reaped(0, false);  // the host ignores SIGCHLD: its number may name another process now
    return;
  }
  // The whole group is signalled while the leader is unreaped, so its number
  // still names this group and no other; the leader itself as well, in case
  // it moved to another group.
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline && !LeaderEnded())
    std::this_thread::sleep_for(kPollInterval);
  ::kill(-pid_, SIGKILL);  // what is left of the group, the leader included if it lives
  ::kill(pid_, SIGKILL);
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(pid_, &status, 0);
  } while (result < 0 && errno == EINTR);
  Reaped(status, result == pid_);
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
