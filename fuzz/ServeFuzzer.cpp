// libFuzzer target: an input is everything an application sends up the link
// during one run. It is served as the engine serves a run: a LinkChannel over
// a link that reads the input and swallows every reply, the serve loop, and
// a fresh registry with the built-in clusters 0, 1, 4 and 5. The run ends
// when the input is used up (the link throws, as a closed link does) or when
// the input ends it; what a run catches is caught, anything else is a
// finding.
//
// Confinement: every input runs in a fresh directory that is also its file
// root, with host commands off and no debug pause, so nothing outside that
// directory is read, written or run. Cluster libraries are never loaded: an
// input can write files, and a file named like a library must not be run.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServeLoop.h"
#include "engine/serve/ServerContextImpl.h"
#include "engine/server/BuiltinClusters.h"
#include "platform/Ui.h"
#include "veltra/HostCallbacks.h"
#include "veltra/Link.h"
#include "veltra/OptionsRecord.h"
#include "veltra/RequestChannel.h"
#include "veltra/RequestFilter.h"
#include "veltra/ServerError.h"

#ifdef VELTRA_FUZZ_GRAPHS
#include "plugins/graph/cluster/GraphCluster.h"
#include "plugins/panel/PanelCluster.h"

#include <QApplication>
#include <QWidget>
#include "plugins/common/WindowThread.h"
#include "plugins/graph/cluster/GraphLibrary.h"
#include "plugins/graph/cluster/GraphTable.h"
#endif

namespace veltra::fuzz {
namespace {

// Serves the input to Read and drops what is written. Past the end of the
// input it throws as a link whose other end closed.
class InputLink final : public Link {
 public:
  InputLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void Read(void* buffer, int count) override {
    if (count < 0 || static_cast<size_t>(count) > size_ - at_) {
      QMXExc closed{};
      closed.error = 1;
      std::snprintf(closed.message, sizeof closed.message, "end of input");
      throw closed;
    }
    std::memcpy(buffer, data_ + at_, static_cast<size_t>(count));
    at_ += static_cast<size_t>(count);
  }
  void Write(const void* buffer, int count) override {
    // Touch what is sent, so a reply built from memory it does not own shows.
    if (count < 0) __builtin_trap();
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    for (int i = 0; i < count; ++i) checksum_ += bytes[i];
  }
  void Reset() override {}
  void RunEnded() override {}
  bool LoadFile(const char*) override { return true; }
  void Cancel() override {}
  int DriverVersion(char* name, int* major, int* minor) override {
    std::snprintf(name, 128, "fuzz input");
    *major = 1;
    *minor = 0;
    return 0;
  }
  void ShowProperties() override {}
  int Control(int, int) override { return 0; }
  const char* LoadError() override { return ""; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  uint32_t checksum_ = 0;
};

// Set from VELTRA_FUZZ_TRACE: the host shows what a run printed, monitor
// lines included, on standard error (to see what a reproducer does).
bool trace = false;

// A host with no terminal: output is dropped, input is at its end.
class QuietHost final : public HostCallbacks {
 public:
  void Output(const char* text, bool) override {
    length_ += std::strlen(text);
    if (trace) std::fputs(text, stderr);
  }
  int ReadLine(char* buffer, int size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  void RunFinished() override {}
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return nullptr; }
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char* title) override { length_ += std::strlen(title); }

 private:
  size_t length_ = 0;
};

class SilentUi final : public UiBackend {
 public:
  MessageResult MessageBox(WindowHandle, const std::string&, const std::string&, MessageIcon, MessageButtons,
                           MessageResult defaultButton) override {
    return defaultButton;
  }
  void PostQuit(WindowHandle) override {}
};

// Answers for every cluster that is not built in, as the serve loop answers
// when no library is found: 128 to a presence probe, and the end of the run
// for any other service.
class AbsentClusters final : public RequestFilter {
 public:
  explicit AbsentClusters(ServerContext& context) : context_(context) {}
  bool Handle(int, int service, bool replyWanted, RequestChannel* channel) override {
    if (service != 0) {
      context_.StopServing();
      return true;
    }
    if (replyWanted) channel->WriteWord(128);
    return true;
  }

 private:
  ServerContext& context_;
};

std::string base;  // the fuzzer's own directory; each input gets base/run
// Where the fuzzer was started: it reads its corpus and writes its findings
// by names relative to it, so each input returns there.
std::string home;

void RemoveBase() {
  if (base.empty()) return;
  std::error_code ignored;
  std::filesystem::current_path("/", ignored);
  std::filesystem::remove_all(base, ignored);
}

#ifdef VELTRA_FUZZ_GRAPHS
// What the end of the process does to graphs an input left open, so that
// inputs do not pile windows up.
void CloseGraphs() {
  auto records = GraphTable::TakeAll();
  WindowThread::Run([&records] {
    for (auto& record : records) GraphLibrary::Close(record->window);
    // The panels an input left open (their cluster object is gone already).
    for (QWidget* window : QApplication::topLevelWidgets()) delete window;
    QCoreApplication::processEvents();
  });
}
#endif

void RunOne(const uint8_t* data, size_t size) {
  std::string run = base + "/run";
  std::error_code error;
  std::filesystem::remove_all(run, error);
  if (!std::filesystem::create_directory(run, error) || chdir(run.c_str()) != 0) __builtin_trap();

  OptionsRecord options = kDefaultOptions;
  std::snprintf(options.FileRoot, sizeof options.FileRoot, "%s", run.c_str());
  options.AllowHostCommands = 0;
  options.Debug = 0;
  options.MonGeneral = options.MonLink = options.MonProt = options.MonUser = 1;
  // Both output streams go to one file in the run's directory as well, so
  // the routing of a shared redirection is served too.
  options.StdOut.File = options.StdErr.File = 1;
  std::snprintf(options.StdOut.Filename, sizeof options.StdOut.Filename, "%s/console.txt", run.c_str());
  std::snprintf(options.StdErr.Filename, sizeof options.StdErr.Filename, "%s/console.txt", run.c_str());

  QuietHost host;
  InputLink link(data, size);
  {
    ServerContextImpl context(&host, &options);
    LinkChannel channel(&context, &options);
    channel.SetLink(&link);
    AbsentClusters absent(context);
    context.OpenRedirections();
    // As a run: the registry outlives the error that ends serving and goes
    // with the clean-up.
    std::unique_ptr<ClusterRegistry> registry;
    try {
      registry = std::make_unique<ClusterRegistry>(&channel, &context, &options);
      RegisterBuiltinClusters(*registry);
#ifdef VELTRA_FUZZ_GRAPHS
      // The graph cluster, built in: its windows are drawn off screen.
      registry->Add(0x301, new GraphCluster, nullptr);
      // The control panel likewise; its questions get the silent answer.
      registry->Add(0x310, new PanelCluster, nullptr);
#endif
      context.SetServing(true);
      ServeLoop(context, channel, *registry, &absent);
    } catch (const ServerError&) {
    } catch (const QMXExc&) {
    }
    context.SetServing(false);
    registry.reset();
#ifdef VELTRA_FUZZ_GRAPHS
    CloseGraphs();
#endif
    context.CloseRedirections();
  }
  // The process's own streams are shared by every input: a console stream
  // of this one must not leave its indicators to the next.
  std::clearerr(stdin);
  std::clearerr(stdout);
  std::clearerr(stderr);
  if (chdir(home.c_str()) != 0) __builtin_trap();
  std::filesystem::remove_all(run, error);
}

}  // namespace
}  // namespace veltra::fuzz

#ifdef VELTRA_FUZZ_GRAPHS
// The windows' application object lives until the process ends, and
// fontconfig drops a few of its cache blocks then.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace veltra::fuzz;
  std::string pattern = (std::filesystem::temp_directory_path() / "veltra-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) __builtin_trap();
  base = pattern;
  home = std::filesystem::current_path().string();
  std::atexit(RemoveBase);
  // Console streams of an input read and write the process's own: standard
  // input is empty, standard output goes nowhere.
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0) __builtin_trap();
  close(null);
  trace = std::getenv("VELTRA_FUZZ_TRACE") != nullptr;
#ifdef VELTRA_FUZZ_GRAPHS
  // The graph windows' settings go to a store of the fuzzer's own.
  setenv("VELTRA_CONFIG_DIR", (base + "/settings").c_str(), 1);
  unsetenv("VELTRA_GRAPHS_DIR");
#endif
  static SilentUi ui;
  veltra::Ui::Install(&ui);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  veltra::fuzz::RunOne(data, size);
  return 0;
}
