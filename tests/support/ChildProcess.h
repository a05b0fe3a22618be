// Runs a program to its end for end-to-end tests: feeds standard input,
// captures standard output and error, and kills it after a time limit.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltra::test {

struct ProcessResult {
  int exitStatus = -1;  // the status passed to exit(), or -1 when killed by a signal
  int signal = 0;       // the signal that ended it, or 0
  bool timedOut = false;
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string input;                                              // written to standard input, then closed
  std::map<std::string, std::optional<std::string>> environment;  // set (or unset with nullopt)
  std::string workingDirectory;                                   // empty: the caller's
  int timeoutMilliseconds = 30000;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Directory of the test programs and libraries (build/bin).
std::string TestBinDirectory();

// veltra-run serving an application without a display (its windows off
// screen), with its settings in settingsDirectory and the plug-ins of the
// build: the end-to-end tests of the windowed clusters.
ProcessResult RunHeadless(const std::string& settingsDirectory, const std::vector<std::string>& args);

}  // namespace veltra::test
