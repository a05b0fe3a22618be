// The engine's OrvServer: binds the options and link managers, owns the
// server thread that performs one run (load or reconnect, then serve) each
// time the host releases it, and reports what ends a run.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
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
  // One run: the guarded run cycle, then the clean-up. False when the host
  // deleted this server from its RunFinished: nothing of it may be touched.
  bool PerformRun();
  // The run cycle inside the error guard; true when it showed an error.
  bool GuardedRunCycle();
  // Ends the run on a cluster that the host's thread added twice.
  void ReportRefusedCluster(bool errorShown);
  void RunCycle();
  void LoadAndServe();
  void Serve();
  bool CleanUpRun(bool started);
  // What Halt does to the run, without marking it as halted by the user.
  void StopServingAndCancel();
  // Whether Halt stopped the run the server thread is performing.
  bool Halted() const;
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
  // meets a registry that the clean-up is destroying, and the refused
  // cluster below.
  std::mutex registryMutex_;
  std::unique_ptr<ClusterRegistry> registry_;
  // A duplicate cluster number that the host added from its own thread during
  // this run: the run is stopped and the server thread reports it.
  bool clusterRefused_ = false;
  int refusedCluster_ = 0;
  // Where AddCluster may let duplicate_cluster run through the serve loop.
  std::atomic<std::thread::id> serverThread_{};

  Semaphore runSemaphore_{0, 1};
  Semaphore stopSemaphore_{0, 1};
  std::thread thread_;
  // Guards thread_ against two threads joining it at once.
  std::mutex threadMutex_;

  void* optionsLibrary_ = nullptr;
  void* linkLibrary_ = nullptr;

  std::atomic<bool> applicationSelected_{false};
  std::atomic<bool> closing_{false};

  // What Run and Reconnect ask of the next run. A Halt is tied to one run by
  // its number, so that a halt coming before the server thread wakes for the
  // run stops that run, and none stops a later one.
  struct RunRequest {
    bool load = true;     // load the application, or reconnect to it
    bool notify = false;  // reconnect: send the application one word first
    uint32_t word = 0;
  };
  struct ReleasedRun {
    uint64_t number;
    RunRequest request;
  };
  void Release(const RunRequest& request);
  // Guards releasedRun_, released_, handedOver_, currentRun_ and
  // inRun_, and is held while Halt cancels the link and while the clean-up
  // ends the run on the link, so a Halt's cancel never reaches a run that
  // has already ended.
  std::mutex runMutex_;
  uint64_t releasedRun_ = 0;  // the number of the run released last
  // Runs released and not yet begun, oldest first. As with a semaphore of
  // maximum one: a release between runs is the waiting thread's next run
  // at once (handedOver_), and one more may wait behind it; a release
  // beyond that replaces the one waiting.
  std::deque<ReleasedRun> released_;
  bool handedOver_ = false;  // released_.front() went to the waiting thread
  // The number of the run the server thread took last; written under
  // runMutex_ by the server thread only, which may read it without the lock.
  uint64_t currentRun_ = 0;
  bool inRun_ = false;  // the server thread is performing currentRun_
  // Every run up to this number is halted.
  std::atomic<uint64_t> haltedRun_{0};
  // Whether this server still exists, for a server thread that returns from
  // a host callback that deleted it.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  // The current run's request; server thread only.
  RunRequest run_;
  // Set once the run has begun serving; before that the serving flag says
  // nothing about whether the run was stopped.
  std::atomic<bool> servePhase_{false};
  // Written by the server thread at the end of each run.
  std::atomic<RunOutcome> outcome_{RunOutcome::None};

  // Written by SetApplication on the host's thread.
  char applicationPath_[kPathSize] = {};
  std::string applicationFile_;  // the same path made absolute when it was set
  // Mutex for applicationPath_ and applicationFile_: SetApplication may run
  // while the server thread copies them at the start of a load.
  std::mutex pathMutex_;
  // The path of the application this server loaded last; written only on the
  // server thread, read by the context's ApplicationPath.
  char loadedPath_[kPathSize] = {};
};

}  // namespace veltra
