#include "bench/BenchProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace veltra::bench {

namespace {

std::string NameOf(const std::string& entry) {
  return entry.substr(0, entry.find('='));
}

}  // namespace

BenchProcess::~BenchProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Wait();
  }
}

bool BenchProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, int keepFd, bool quiet,
                         std::string& error) {
  std::vector<std::string> env;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string name = NameOf(*entry);
    bool replaced = false;
    for (const std::string& extra : environment) replaced = replaced || NameOf(extra) == name;
    if (!replaced) env.emplace_back(*entry);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<std::string> argStorage;
  argStorage.push_back(program);
  argStorage.insert(argStorage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStorage) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Duplicating onto itself clears close-on-exec in the child only.
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, keepFd);
  if (quiet) posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  int result = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    error = "cannot start " + program + ": " + std::strerror(result);
    return false;
  }
  return true;
}

int BenchProcess::Wait(double* cpuSeconds) {
  if (pid_ <= 0) return -1;
  int status = 0;
  rusage usage{};
  pid_t got;
  do {
    got = ::wait4(pid_, &status, 0, &usage);
  } while (got < 0 && errno == EINTR);
  pid_ = -1;
  if (cpuSeconds)
    *cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (got < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace veltra::bench
