// veltra-run: the headless host. It binds the engine library by name as the
// GUI host does, runs one application on the selected link and serves it,
// with the application's console on this program's own streams.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/ConsoleUi.h"
#include "platform/DynamicLibrary.h"
#include "runner/ConsoleHost.h"
#include "runner/RunnerOptions.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 124;
constexpr int kExitInterrupted = 130;
// How long a halted run may take to end before the runner leaves it.
constexpr std::chrono::milliseconds kHaltGrace{1500};

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
}

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A closed output pipe must not kill the runner before it ends the application.
  std::signal(SIGPIPE, SIG_IGN);
}

// The runner's children, of every thread: with the runner as subreaper,
// whatever an application started and left behind lands here.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* task = readdir(tasks)) {
      if (task->d_name[0] == '.') continue;
      std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
      for (pid_t child; list >> child;) children.push_back(child);
    }
    closedir(tasks);
  }
  return children;
}

// Nothing started for a run outlives the runner: an application's process
// that left its group, and what such a process started in turn, are
// reparented to the runner (it is their subreaper) and ended here.
void EndLeftoverProcesses() {
  // The usual end: no child at all, known without reading /proc.
  siginfo_t info{};
  if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD) return;
  for (int round = 0; round < 100; ++round) {
    std::vector<pid_t> children = Children();
    if (children.empty()) return;
    for (pid_t child : children) kill(child, SIGKILL);
    int status;
    for (pid_t child : children) {
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
}

void Error(const std::string& text) {
  std::fprintf(stderr, "veltra-run: %s\n", text.c_str());
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

// Why FILE cannot be the file of a --stdin, --stdout or --stderr option, or
// empty when it can. Nothing is created: an output file that does not exist
// yet needs a directory it can be made in.
std::string RedirectionProblem(const std::string& file, bool output) {
  std::string path = Absolute(file);
  if (path.size() >= static_cast<size_t>(kPathSize))
    return "the file's path is longer than " + std::to_string(kPathSize - 1) + " characters";
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return file + " is a directory";
  bool exists = std::filesystem::exists(path, ec);
  if (!output && !exists) return "cannot read " + file + ": " + std::strerror(ENOENT);
  std::string checked = exists ? path : std::filesystem::path(path).parent_path().string();
  if (access(checked.c_str(), !exists ? W_OK | X_OK : output ? W_OK : R_OK) != 0)
    return std::string("cannot ") + (output ? "write " : "read ") + file + ": " + std::strerror(errno);
  return "";
}

// Boxes on standard error, noting whether a standard stream lost anything.
class RunnerUi : public ConsoleUi {
 public:
  using ConsoleUi::ConsoleUi;
  MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                           MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) override {
    if (caption == "Standard I/O") streamFailed = true;
    // A question of yes or no takes the --answer given, when one was.
    if (answer && (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel))
      defaultButton = *answer ? MessageResult::Yes : MessageResult::No;
    return ConsoleUi::MessageBox(owner, text, caption, icon, buttons, defaultButton);
  }

  std::atomic<bool> streamFailed{false};
  std::optional<bool> answer;  // --answer
};

void CopyText(char* field, size_t size, const std::string& text) {
  std::snprintf(field, size, "%s", text.c_str());
}

void ApplyOptions(const RunnerOptions& options, OptionsRecord& record) {
  if (options.arguments) CopyText(record.CommandLine, kCommandLineLimit + 1, *options.arguments);
  if (options.monGeneral) record.MonGeneral = 1;
  if (options.monLink) record.MonLink = 1;
  if (options.monProt) record.MonProt = 1;
  if (options.monUser) record.MonUser = 1;
  if (options.stdinFile) {
    record.StdIn.Log = 0;
    CopyText(record.StdIn.Filename, sizeof record.StdIn.Filename, Absolute(*options.stdinFile));
  } else {
    record.StdIn.Log = 1;
  }
  // Without a file option a stream shows on this program's own stream only;
  // saved redirections of the GUI host do not apply to a runner.
  auto output = [&](StreamOptions& stream, const std::optional<std::string>& file) {
    stream.File = file.has_value();
    stream.Log = !file.has_value();
    stream.Append = options.append;
    if (file) CopyText(stream.Filename, sizeof stream.Filename, Absolute(*file));
  };
  output(record.StdOut, options.stdoutFile);
  output(record.StdErr, options.stderrFile);
  record.StdErr.Merge = options.mergeStderr;
  if (options.resetDelay) record.ResetDelay = *options.resetDelay;
  // Without these options the saved confinement stays in force.
  if (options.fileRoot) CopyText(record.FileRoot, sizeof record.FileRoot, Absolute(*options.fileRoot));
  if (options.noHostCommands) record.AllowHostCommands = 0;
  record.ExitOnStop = 0;
  record.Debug = 0;  // nobody could answer the pause box
  record.Alone = 0;
}

int Main(int argc, char** argv) {
  // A pipe or terminal gets each line as it is written: a log shows how far a
  // killed run came, and lines keep their order with standard error. A file
  // keeps the full buffering.
  struct stat outStat {};
  if (fstat(STDOUT_FILENO, &outStat) == 0 && !S_ISREG(outStat.st_mode))
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = ParseRunnerOptions(args);
  if (!parsed.options) {
    Error(parsed.error);
    std::fputs("Try 'veltra-run --help'.\n", stderr);
    return kExitUsage;
  }
  const RunnerOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(RunnerUsage(), stdout);
    return 0;
  }

  std::string application;
  if (!options.application.empty()) {
    application = Absolute(options.application);
    // The engine keeps no longer path and would refuse it without a word.
    if (application.size() >= static_cast<size_t>(kPathSize)) {
      Error(options.application + ": the application's path is longer than " + std::to_string(kPathSize - 1) +
            " characters");
      return kExitUsage;
    }
    // Not blocking: a named pipe in its place must not hold the runner.
    if (int probe = open(application.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); probe >= 0) {
      close(probe);
    } else {
      std::fprintf(stderr,
                   "Server Failure: The Veltra server cannot start.\nApplication %s does not exist.\n",
                   options.application.c_str());
      return kExitUsage;
    }
  }

  if (options.fileRoot) {
    std::error_code ec;
    std::string root = Absolute(*options.fileRoot);
    if (!std::filesystem::is_directory(root, ec)) {
      Error("--root: " + *options.fileRoot + " is not a directory");
      return kExitUsage;
    }
    if (root.size() >= static_cast<size_t>(kPathSize)) {
      Error("--root: the directory's path is longer than " + std::to_string(kPathSize - 1) + " characters");
      return kExitUsage;
    }
  }

  if (options.graphsDirectory) {
    // The graph plug-ins, loaded only if the application opens a graph, read
    // the directory from the environment.
    std::error_code ec;
    std::filesystem::create_directories(*options.graphsDirectory, ec);
    if (!std::filesystem::is_directory(*options.graphsDirectory, ec)) {
      Error("--graphs: " + *options.graphsDirectory + " is not a directory");
      return kExitUsage;
    }
    setenv("VELTRA_GRAPHS_DIR", Absolute(*options.graphsDirectory).c_str(), 1);
  }

  // A redirection that cannot work is a usage error before anything starts,
  // not a run that goes on without its input or output.
  for (const auto& [option, file, output] :
       {std::tuple{"--stdin", options.stdinFile, false}, std::tuple{"--stdout", options.stdoutFile, true},
        std::tuple{"--stderr", options.stderrFile, true}}) {
    if (!file) continue;
    std::string problem = RedirectionProblem(*file, output);
    if (!problem.empty()) {
      Error(std::string(option) + ": " + problem);
      return kExitUsage;
    }
  }

  InstallSignalHandlers();
  // Orphans of the run's processes come to us rather than to init, so that
  // none of them outlives the runner (see EndLeftoverProcesses).
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  RunnerUi console(stderr);
  console.answer = options.answerYes;
  Ui::Install(&console);

  DynamicLibrary engine;
  if (!engine.Load("Orvcore.dll")) {
    std::fprintf(stderr, "Fatal Error: Cannot load server library %s\n(%s)\n",
                 DynamicLibrary::FileName("Orvcore.dll").c_str(), engine.Error().c_str());
    return kExitError;
  }
  int major = 0, minor = 0;
  if (auto version = engine.Function<GetOrvServerVersionFunction>("GetOrvServerVersion"))
    version(&major, &minor);
  auto getServer = engine.Function<GetOrvServerFunction>("GetOrvServer");
  if (!getServer) {
    std::fprintf(stderr, "Fatal Error: Cannot find entrypoint \"GetOrvServer\" in library %s\n",
                 engine.Path().c_str());
    return kExitError;
  }
  // The engine stays loaded for the life of the process, as in the GUI host.
  engine.Detach();

  // Deleted on every way out: the destructor ends the server thread.
  std::unique_ptr<OrvServer> owned(getServer(nullptr));
  OrvServer* server = owned.get();
  if (!server || !server->options || !server->linkManager) {
    Error("the server could not be created (see the message above)");
    return kExitError;
  }

  Link* link = nullptr;
  if (options.boardName) {
    link = server->linkManager->OpenLinkByName(options.boardName->c_str(), options.boardIndex);
    if (!link) {
      Error("no board " + std::to_string(options.boardIndex + 1) + " named \"" + *options.boardName +
            "\" in the loaded link interfaces");
      return kExitError;
    }
  } else {
    link = server->linkManager->CurrentLink();
  }

  if (options.version) {
    std::printf("Orvcore server engine %d.%d\n", major, minor);
    if (link) {
      char name[128] = {};
      int driverMajor = 0, driverMinor = 0;
      link->DriverVersion(name, &driverMajor, &driverMinor);
      name[sizeof name - 1] = '\0';
      std::printf("Link driver: %s %d.%d\n", name, driverMajor, driverMinor);
    } else {
      std::printf("Link driver: none (no link to the hardware is available)\n");
    }
    return 0;
  }
  if (!link) {
    std::fputs("Run: No link to the hardware is available\n", stderr);
    return kExitError;
  }

  ApplyOptions(options, *server->options);
  ConsoleHost host(stdout, stderr, STDIN_FILENO, options.mergeStderr);
  server->Start(&host);
  server->SetLink(link);
  if (!application.empty()) server->SetApplication(application.c_str());

  int status = kExitError;
  bool started = false;
  try {
    // A reset would end the very application --reconnect is to serve.
    if (!options.noReset && !options.reconnect) server->ResetBoards(false);
    started = true;
  } catch (...) {
    std::fputs("Run: Error resetting target system\n", stderr);
  }
  // Interrupted while the boards were reset or settling: nothing is started.
  if (started && interrupted) {
    started = false;
    status = kExitInterrupted;
  }

  std::atomic<bool> finished{false};
  std::vector<std::thread> signallers;
  if (started) {
    if (options.reconnect)
      server->Reconnect(options.notify, 0);
    else
      server->Run();
    auto start = std::chrono::steady_clock::now();
    for (const auto& signal : options.signals) {
      // start by value: the threads are joined after this block ends.
      signallers.emplace_back([&finished, server, start, signal] {
        auto when = start + std::chrono::milliseconds(signal.milliseconds);
        while (!finished && std::chrono::steady_clock::now() < when)
          std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
              when - std::chrono::steady_clock::now(), std::chrono::milliseconds(20)));
        if (finished) return;
        // Before the application is loaded or after it ended the link refuses
        // the signal; that is worth a line, not the end of the run.
        std::string reason;
        bool refused = true;
        try {
          server->SignalHostSemaphore(signal.semaphore);
          refused = false;
        } catch (const QMXExc& e) {
          reason = e.message[0] ? std::string(e.message, strnlen(e.message, sizeof e.message))
                                : "link error " + std::to_string(e.error);
        } catch (const std::exception& e) {
          reason = e.what();
        } catch (...) {
        }
        for (char& c : reason)
          if (c == '\n' || c == '\r') c = ' ';
        while (!reason.empty() && reason.back() == ' ') reason.pop_back();
        if (reason.empty()) reason = "the link refused it";
        if (refused) Error("--signal " + std::to_string(signal.semaphore) + ": " + reason);
      });
    }

    auto deadline = options.timeoutSeconds
                        ? start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(*options.timeoutSeconds))
                        : std::chrono::steady_clock::time_point::max();
    bool timedOut = false;
    while (!host.WaitForRuns(
        1, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)))) {
      // Output that can no longer be written ends the run, as a closed pipe
      // ends any other program writing into it.
      bool outputLost = host.OutputError() != 0;
      if (interrupted || outputLost || std::chrono::steady_clock::now() >= deadline) {
        timedOut = !interrupted && !outputLost;
        server->Halt();
        // After the halt, so that the application does not see a clean end of
        // input first and end on its own.
        host.StopInput();
        // Every wait of the run ends on a halt; only our own output, blocked
        // on a reader that never reads, can keep the server thread. Then the
        // run is left where it stands: the application ends with the boards'
        // reset, and the runner ends without waiting for its server.
        if (!host.WaitForRuns(1, std::chrono::steady_clock::now() + kHaltGrace)) {
          Error("the run did not end after the halt (is standard output read?)");
          try {
            if (!options.reconnect) link->Reset();
          } catch (...) {
          }
          EndLeftoverProcesses();
          std::_Exit(timedOut ? kExitTimeout : kExitInterrupted);
        }
        break;
      }
    }
    finished = true;
    int outputError = host.OutputError();
    switch (server->LastRunOutcome()) {
      case RunOutcome::Terminated:
        status = server->ExitStatus();
        // A shell keeps only the low 8 bits: 256 would read as success.
        if (status != 0 && (status & 0xff) == 0) status = kExitError;
        // Output that never reached its file is not a success.
        if (status == 0 && console.streamFailed) {
          Error("the application ended, but standard I/O failed (see above)");
          status = kExitError;
        }
        if (status == 0 && outputError) status = kExitError;
        break;
      case RunOutcome::Halted:
        status = outputError ? kExitError : timedOut ? kExitTimeout : kExitInterrupted;
        break;
      default:
        status = kExitError;
        break;
    }
    if (timedOut)
      std::fprintf(stderr, "veltra-run: halted after %g s (--timeout)\n", *options.timeoutSeconds);
    if (outputError) Error(std::string("cannot write standard output: ") + std::strerror(outputError));
    // Standard error lost on its way out: said where it may still arrive.
    if (int errorError = host.ErrorOutputError()) {
      Error(std::string("cannot write standard error: ") + std::strerror(errorError));
      if (status == 0) status = kExitError;
    }
  }
  finished = true;
  for (auto& t : signallers) t.join();

  // No application process the runner loaded outlives it; one it reconnected
  // to was started by someone else and keeps running.
  if (!options.reconnect) {
    try {
      link->Reset();
    } catch (...) {
    }
  }
  server->Shutdown();
  EndLeftoverProcesses();
  if (std::fflush(stdout) != 0 && status == 0) status = kExitError;
  return status;
}

}  // namespace
}  // namespace veltra

int main(int argc, char** argv) {
  return veltra::Main(argc, argv);
}
