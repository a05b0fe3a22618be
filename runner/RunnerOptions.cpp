#include "runner/RunnerOptions.h"

#include <charconv>
#include <cstdlib>
#include <sstream>

namespace veltra {

namespace {

bool ParseInt(const std::string& text, int& value, int low, int high) {
  int parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ParseSeconds(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(parsed > 0) || parsed > 1e7) return false;
  value = parsed;
  return true;
}

}  // namespace

std::string WithApplicationExtension(const std::string& name) {
  for (size_t i = name.size(); i-- > 0;) {
    char c = name[i];
    if (c == '.') return name;
    if (c == '/' || c == '\\' || c == ':') break;
  }
  return name + ".app";
}

const char* RunnerUsage() {
  return "Usage: veltra-run [OPTIONS] APP\n"
         "Runs a Veltra application on the selected DSP link and serves it until it ends.\n"
         "APP without an extension gets \".app\". Options change this run only, never the saved settings.\n"
         "\n"
         "  -a, --args TEXT          the application's command line\n"
         "  -m, --monitor LIST       monitoring: any of general,link,prot,user (comma separated)\n"
         "      --stdin FILE         standard input from FILE instead of this program's own\n"
         "      --stdout FILE        standard output to FILE instead of this program's own\n"
         "      --stderr FILE        standard error to FILE instead of this program's own\n"
         "      --append             append to the --stdout/--stderr files instead of rewriting them\n"
         "      --merge-stderr       standard error follows standard output (not with --stderr)\n"
         "      --board NAME[:N]     board N (1 by default) of the loaded link interfaces named NAME; "
         "boards\n"
         "                           count from 1, as in every message about them\n"
         "      --reset-delay MS     wait MS milliseconds after resetting the boards\n"
         "      --no-reset           do not reset the boards before the run\n"
         "      --reconnect          serve an application that is already running instead of loading APP\n"
         "      --notify             with --reconnect: first send the application the reply word 0\n"
         "      --signal N@MS        signal host semaphore N (0-9) MS milliseconds after the run starts;\n"
         "                           may be given several times\n"
         "      --timeout SECONDS    halt the run after SECONDS (exit status 124)\n"
         "      --root DIR           keep the file names the application sends inside DIR; this alone is\n"
         "                           no confinement: its host commands still run with your rights\n"
         "      --graphs DIR         write every graph the application shows to DIR/NAME.png and\n"
         "                           DIR/NAME.csv when it is closed and when the run ends\n"
         "      --no-host-commands   refuse the application's host commands (result 99)\n"
         "      --confine DIR        both: --root DIR and --no-host-commands\n"
         "      --answer yes|no      the answer to the application's yes/no questions (no by default)\n"
         "      --version            show the server and link driver versions\n"
         "  -h, --help               show this text\n"
         "\n"
         "Exit status: the application's exit status when it terminates (0 when it set none; 1 when it\n"
         "is not 0 but a multiple of 256, which a shell would read as 0), 1 when the run ended on an error\n"
         "or output was lost, 2 for a usage error (a --stdin, --stdout or --stderr file that cannot be\n"
         "used is one), 124 when --timeout halted it, 130 when interrupted.\n";
}

ParseResult ParseRunnerOptions(const std::vector<std::string>& args) {
  RunnerOptions options;
  std::vector<std::string> positional;
  auto fail = [](const std::string& message) { return ParseResult{std::nullopt, message}; };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      auto eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&](std::string& out) -> bool {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto noValue = [&] { return !inlineValue.has_value(); };
    std::string v;

    if (arg == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "-a" || arg == "--args") {
      if (!value(v)) return fail(arg + " needs the command-line text");
      options.arguments = v;
    } else if (arg == "-m" || arg == "--monitor") {
      if (!value(v)) return fail(arg + " needs a list of general,link,prot,user");
      std::stringstream list(v);
      std::string item;
      while (std::getline(list, item, ',')) {
        if (item == "general")
          options.monGeneral = true;
        else if (item == "link")
          options.monLink = true;
        else if (item == "prot")
          options.monProt = true;
        else if (item == "user")
          options.monUser = true;
        else if (item == "all")
          options.monGeneral = options.monLink = options.monProt = options.monUser = true;
        else
          return fail("unknown monitoring kind \"" + item + "\" (general, link, prot, user)");
      }
    } else if (arg == "--stdin" || arg == "--stdout" || arg == "--stderr") {
      if (!value(v) || v.empty()) return fail(arg + " needs a file name");
      (arg == "--stdin"    ? options.stdinFile
       : arg == "--stdout" ? options.stdoutFile
                           : options.stderrFile) = v;
    } else if (arg == "--append" && noValue()) {
      options.append = true;
    } else if (arg == "--merge-stderr" && noValue()) {
      options.mergeStderr = true;
    } else if (arg == "--board") {
      if (!value(v) || v.empty()) return fail("--board needs NAME or NAME:N");
      auto colon = v.rfind(':');
      if (colon != std::string::npos) {
        int number = 0;
        if (!ParseInt(v.substr(colon + 1), number, 1, 1 << 20))
          return fail("--board: bad board number in \"" + v + "\" (boards count from 1)");
        options.boardIndex = number - 1;
        v = v.substr(0, colon);
      }
      if (v.empty()) return fail("--board needs a board name");
      options.boardName = v;
    } else if (arg == "--reset-delay") {
      int ms = 0;
      if (!value(v) || !ParseInt(v, ms, 0, 3600000))
        return fail("--reset-delay needs milliseconds (0 to 3600000)");
      options.resetDelay = ms;
    } else if (arg == "--no-reset" && noValue()) {
      options.noReset = true;
    } else if (arg == "--reconnect" && noValue()) {
      options.reconnect = true;
    } else if (arg == "--notify" && noValue()) {
      options.notify = true;
    } else if (arg == "--signal") {
      if (!value(v)) return fail("--signal needs N@MS");
      auto at = v.find('@');
      SemaphoreSignal signal{};
      if (at == std::string::npos || !ParseInt(v.substr(0, at), signal.semaphore, 0, 9) ||
          !ParseInt(v.substr(at + 1), signal.milliseconds, 0, 86400000))
        return fail("--signal needs N@MS with N from 0 to 9, e.g. 3@200");
      options.signals.push_back(signal);
    } else if (arg == "--timeout") {
      double seconds = 0;
      if (!value(v) || !ParseSeconds(v, seconds)) return fail("--timeout needs a number of seconds above 0");
      options.timeoutSeconds = seconds;
    } else if (arg == "--root") {
      if (!value(v) || v.empty()) return fail("--root needs a directory");
      options.fileRoot = v;
    } else if (arg == "--answer") {
      if (!value(v) || (v != "yes" && v != "no")) return fail("--answer needs yes or no");
      options.answerYes = v == "yes";
    } else if (arg == "--graphs") {
      if (!value(v) || v.empty()) return fail("--graphs needs a directory");
      options.graphsDirectory = v;
    } else if (arg == "--no-host-commands" && noValue()) {
      options.noHostCommands = true;
    } else if (arg == "--confine") {
      if (!value(v) || v.empty()) return fail("--confine needs a directory");
      options.fileRoot = v;
      options.noHostCommands = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + args[i]);
    } else {
      positional.push_back(arg);
    }
  }

  if (options.help || options.version) return {options, ""};
  if (positional.size() > 1)
    return fail("only one application may be given (use --args for its command line)");
  if (options.notify && !options.reconnect) return fail("--notify goes with --reconnect");
  if (options.mergeStderr && options.stderrFile)
    return fail("--merge-stderr sends standard error where standard output goes; it cannot go with --stderr");
  if (positional.empty()) {
    if (!options.reconnect) return fail("no application given");
  } else {
    if (positional[0].empty()) return fail("empty application name");
    options.application = WithApplicationExtension(positional[0]);
  }
  return {options, ""};
}

}  // namespace veltra
