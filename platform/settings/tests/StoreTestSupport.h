// Helpers for tests of the settings store and its users: running
// veltra-settings, and running checks in a child process (a fresh process
// start, optionally without root's right to write anything).
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"

extern char** environ;

namespace veltra::test {

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string ToolPath() {
  return DynamicLibrary::ProgramDirectory() + "veltra-settings";
}

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts veltra-settings with the given arguments; output to the given files
// (or /dev/null). Returns the process id, or -1.
inline pid_t SpawnTool(const std::vector<std::string>& arguments, const std::string& out = "/dev/null",
                       const std::string& err = "/dev/null") {
  std::string tool = ToolPath();
  std::vector<char*> argv;
  argv.push_back(tool.data());
  std::vector<std::string> copies(arguments);
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code, or -1 when the process did not exit normally.
inline int WaitExit(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline ToolResult RunTool(const std::vector<std::string>& arguments) {
  char outName[] = "/tmp/veltra-tool-out-XXXXXX";
  char errName[] = "/tmp/veltra-tool-err-XXXXXX";
  int outFd = mkstemp(outName);
  int errFd = mkstemp(errName);
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);
  ToolResult result;
  result.exitCode = WaitExit(SpawnTool(arguments, outName, errName));
  result.out = ReadWhole(outName);
  result.err = ReadWhole(errName);
  unlink(outName);
  unlink(errName);
  return result;
}

// Runs check in a forked child and returns what it reported: empty when every
// expectation held. With unprivileged, a child running as root gives up root
// first, so that file permissions bind it as they bind a user.
inline std::string InChild(const std::function<std::string()>& check, bool unprivileged = false) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    close(fds[0]);
    std::string report;
    if (unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        report = "cannot give up root";
    }
    if (report.empty()) report = check();
    size_t done = 0;
    while (done < report.size()) {
      ssize_t n = write(fds[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) report += " (child ended abnormally)";
  return report;
}

// Collects failed expectations of a child process.
class ChildChecks {
 public:
  void Expect(bool condition, const std::string& what) {
    if (!condition) report_ += what + "; ";
  }
  const std::string& Report() const { return report_; }

 private:
  std::string report_;
};

}  // namespace veltra::test
