// The engine's OrvServer: binds the options and link managers, owns the
// server thread that performs one run (load or reconnect, then serve) each
// time the host releases it, and reports what ends a run.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Semaphore.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra {

class ClusterRegistry;
class LinkChannel;
class ServerContextImpl;

class OrvServerImpl final : public OrvServer {
 public:
  explicit OrvServerImpl(WindowHandle owner);
  ~OrvServerImpl() override;
  OrvServerImpl(const OrvServerImpl&) = delete;
  OrvServerImpl& operator=(const OrvServerImpl&) = delete;

  void* Start(HostCallbacks* callbacks) override;
  void SetLink(Link* link) override;
  void SetApplication(const char* path) override;
  void ResetBoards(bool force) override;
  void Run() override;
  void Reconnect(bool sendWord, uint32_t word) override;
  void Halt() override;
  void Shutdown() override;
  bool CanRun() override;
  void SetCommandLine(const char* text) override;
  const char* GetCommandLine() override;
  int CommandLineLimit() override;
  void AddCluster(int number, Cluster* cluster) override;
  void SetRequestFilter(RequestFilter* filter) override;
  void SignalHostSemaphore(int n) override;
  int ExitStatus() override;
  RunOutcome LastRunOutcome() override { return outcome_; }

 private:
  void ThreadMain();
  // One run: the guarded run cycle, then the clean-up.
  void PerformRun();
  void RunCycle();
  void LoadAndServe();
  void Serve();
  void CleanUpRun();
  // What Halt does to the run, without marking it as halted by the user.
  void StopServingAndCancel();
  // An error that ends a run is shown unless the server is closing or the
  // run was stopped on purpose.
  bool ShouldReport() const;
  void ReportError(const char* text, const char* caption);
  WindowHandle MainWindow() const;

  WindowHandle owner_;
  // The options manager's record, or a private defaults record when the
  // options manager could not be bound, so a started server still runs.
  OptionsRecord* record_ = nullptr;
  OptionsRecord fallbackOptions_ = kDefaultOptions;

  HostCallbacks* host_ = nullptr;
  std::unique_ptr<ServerContextImpl> context_;
  std::unique_ptr<LinkChannel> channel_;
  std::atomic<RequestFilter*> filter_{nullptr};
  // Set by the host's thread, used by the server thread during a run.
  std::atomic<Link*> link_{nullptr};

  // Guards registry_ (the pointer, not the registry), so AddCluster never
  // meets a registry that the clean-up is destroying.
  std::mutex registryMutex_;
  std::unique_ptr<ClusterRegistry> registry_;

  Semaphore runSemaphore_{0, 1};
  Semaphore stopSemaphore_{0, 1};
  std::thread thread_;
  // Guards thread_ against two threads joining it at once.
  std::mutex threadMutex_;

  void* optionsLibrary_ = nullptr;
  void* linkLibrary_ = nullptr;

  std::atomic<bool> applicationSelected_{false};
  std::atomic<bool> loadRequested_{true};
  std::atomic<bool> closing_{false};
  // Set by Halt, cleared when the server thread begins a run.
  std::atomic<bool> halted_{false};
  // Set once the run has begun serving; before that the serving flag says
  // nothing about whether the run was stopped.
  std::atomic<bool> servePhase_{false};
  // Written by the server thread at the end of each run.
  std::atomic<RunOutcome> outcome_{RunOutcome::None};

  // Written by SetApplication on the host's thread.
  char applicationPath_[kPathSize] = {};
  // Mutex for applicationPath_: SetApplication may run while the server
  // thread copies the path at the start of a load.
  std::mutex pathMutex_;
  // The path of the application this server loaded last; written only on the
  // server thread, read by the context's ApplicationPath.
  char loadedPath_[kPathSize] = {};
};

}  // namespace veltra
