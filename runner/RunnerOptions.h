// The command line of veltra-run, parsed without side effects so that it can
// be tested on its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltra {

struct SemaphoreSignal {
  int semaphore;     // 0..9
  int milliseconds;  // after the run starts
};

struct RunnerOptions {
  std::string application;  // as given, with ".app" added when it had no extension
  std::optional<std::string> arguments;
  bool monGeneral = false, monLink = false, monProt = false, monUser = false;
  std::optional<std::string> stdinFile, stdoutFile, stderrFile;
  bool append = false;
  bool mergeStderr = false;
  std::optional<std::string> boardName;
  int boardIndex = 0;  // from 0; the user counts boards from 1
  std::optional<int> resetDelay;
  bool noReset = false;
  bool reconnect = false;
  bool notify = false;
  std::vector<SemaphoreSignal> signals;
  std::optional<double> timeoutSeconds;
  std::optional<std::string> fileRoot;  // confines the application's file names
  bool noHostCommands = false;
  std::optional<bool> answerYes;  // --answer: how yes/no questions are answered
  std::optional<std::string> graphsDirectory;  // where the graph plug-ins write their graphs
  bool version = false;
  bool help = false;
};

struct ParseResult {
  std::optional<RunnerOptions> options;
  std::string error;  // set when options is empty
};

ParseResult ParseRunnerOptions(const std::vector<std::string>& args);

// A name whose last '.' comes after every '/', '\\' and ':' has an extension;
// any other gets ".app".
std::string WithApplicationExtension(const std::string& name);

const char* RunnerUsage();

}  // namespace veltra
