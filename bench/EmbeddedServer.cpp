#include "bench/EmbeddedServer.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "platform/Ui.h"
#include "veltra/HostCallbacks.h"
#include "veltra/Link.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra::bench {

namespace {

constexpr auto kRunLimit = std::chrono::minutes(5);

// Collects what a run had to say: message boxes and standard error.
class Complaints final : public UiBackend {
 public:
  MessageResult MessageBox(WindowHandle, const std::string& text, const std::string& caption, MessageIcon,
                           MessageButtons, MessageResult defaultButton) override {
    Add(caption + ": " + text);
    return defaultButton;
  }
  void PostQuit(WindowHandle) override {}

  void Add(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ += text;
  }
  std::string Take() {
    std::lock_guard lock(mutex_);
    std::string text;
    text.swap(text_);
    return text;
  }

 private:
  std::mutex mutex_;  // guards text_
  std::string text_;
};

class BenchHost final : public HostCallbacks {
 public:
  explicit BenchHost(Complaints& complaints) : complaints_(complaints) {}

  void Output(const char* text, bool toStderr) override {
    if (!toStderr && std::strcmp(text, "mark\n") == 0) {
      if (markHook) markHook();
      return;
    }
    if (toStderr) complaints_.Add(text);
  }
  int ReadLine(char* buffer, int size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  void RunFinished() override {
    std::lock_guard lock(mutex_);
    ++runsFinished_;
    finished_.notify_all();
  }
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return nullptr; }
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char*) override {}

  int RunsFinished() {
    std::lock_guard lock(mutex_);
    return runsFinished_;
  }
  bool WaitForRuns(int count) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, kRunLimit, [&] { return runsFinished_ >= count; });
  }

  // Set between runs only.
  std::function<void()> markHook;

 private:
  Complaints& complaints_;
  std::mutex mutex_;  // guards runsFinished_
  std::condition_variable finished_;
  int runsFinished_ = 0;
};

}  // namespace

struct EmbeddedServer::Impl {
  Complaints complaints;
  BenchHost host{complaints};
  OrvServer* server = nullptr;
  CloseOrvServerFunction closeServer = nullptr;
  Link* link = nullptr;
  bool started = false;
};

EmbeddedServer::EmbeddedServer() : impl_(std::make_unique<Impl>()) {
  Ui::Install(&impl_->complaints);
}

EmbeddedServer::~EmbeddedServer() {
  if (impl_->server && impl_->started) {
    impl_->server->Halt();
    if (impl_->link) impl_->link->Reset();
    impl_->server->Shutdown();
  }
  if (impl_->closeServer) impl_->closeServer();
  Ui::Install(nullptr);
}

bool EmbeddedServer::Open(std::string& error) {
  DynamicLibrary engine;
  if (!engine.Load("Orvcore.dll")) {
    error = "cannot load the server library: " + engine.Error();
    return false;
  }
  auto getServer = engine.Function<GetOrvServerFunction>("GetOrvServer");
  impl_->closeServer = engine.Function<CloseOrvServerFunction>("CloseOrvServer");
  if (!getServer) {
    error = "the server library has no GetOrvServer";
    return false;
  }
  DynamicLibrary simulator;
  if (!simulator.Load("Simulator_Orv.dll")) {
    error = "cannot load the simulator link library: " + simulator.Error();
    return false;
  }
  auto getInfo = simulator.Function<GetInfoFunction>("GetInfo");
  InterfaceInfo* info = getInfo ? getInfo(nullptr) : nullptr;
  impl_->link = info && info->BoardCount() > 0 ? info->OpenLink(0) : nullptr;
  if (!impl_->link) {
    error = "the simulator offers no board";
    return false;
  }
  // Both stay loaded for the life of the process, as in the hosts.
  engine.Detach();
  simulator.Detach();

  impl_->server = getServer(nullptr);
  if (!impl_->server) {
    error = "GetOrvServer made no server";
    return false;
  }
  if (OptionsRecord* options = impl_->server->options) {
    // The application's standard output reaches the host, and nothing is monitored.
    options->MonGeneral = options->MonLink = options->MonProt = options->MonUser = 0;
    options->StdIn.Log = 1;
    for (StreamOptions* stream : {&options->StdOut, &options->StdErr}) {
      stream->Log = 1;
      stream->File = 0;
      stream->Merge = 0;
    }
    options->ResetDelay = 0;
    options->C4x = 0;
    options->Debug = options->Alone = options->ExitOnStop = 0;
  }
  impl_->complaints.Take();  // the boxes of libraries we do without
  impl_->server->Start(&impl_->host);
  impl_->server->SetLink(impl_->link);
  impl_->started = true;
  return true;
}

void EmbeddedServer::SetMarkHook(std::function<void()> hook) {
  impl_->host.markHook = std::move(hook);
}

bool EmbeddedServer::Run(const std::string& application, const std::string& commandLine, std::string& error) {
  OrvServer& server = *impl_->server;
  server.SetApplication(application.c_str());
  server.SetCommandLine(commandLine.c_str());
  int before = impl_->host.RunsFinished();
  server.ResetBoards(false);
  server.Run();
  if (!impl_->host.WaitForRuns(before + 1)) {
    server.Halt();
    impl_->host.WaitForRuns(before + 1);
    error = application + " did not finish in time";
    return false;
  }
  error = impl_->complaints.Take();
  return error.empty();
}

}  // namespace veltra::bench
