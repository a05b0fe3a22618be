#include "engine/server/OrvServerImpl.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServeLoop.h"
#include "engine/serve/ServerContextImpl.h"
#include "engine/server/ApplicationDirectory.h"
#include "engine/server/BuiltinClusters.h"
#include "platform/DynamicLibrary.h"
#include "platform/Ui.h"
#include "veltra/HostCallbacks.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsManager.h"
#include "veltra/ServerError.h"

namespace veltra {

namespace {

void ErrorBox(WindowHandle owner, const char* text, const char* caption) {
  Ui::MessageBox(owner, text, caption, MessageIcon::Error);
}

}  // namespace

OrvServerImpl::OrvServerImpl(WindowHandle owner) : owner_(owner) {
  record_ = &fallbackOptions_;

  DynamicLibrary optionsLibrary;
  if (!optionsLibrary.Load("Prefbook.dll")) {
    ErrorBox(owner_, "Cannot find Orv Options Manager library", "Missing DLL");
    return;
  }
  auto getOptionsManager = optionsLibrary.Function<GetOptionsManagerFunction>("GetOptionsManager");
  if (!getOptionsManager) {
    ErrorBox(owner_, "No entry point GetOptionsManager in Options Manager library", "Corrupt DLL");
    return;
  }
  // Kept loaded for the life of the process: the record lives in it.
  optionsLibrary_ = optionsLibrary.Detach();
  optionsManager = getOptionsManager();
  if (optionsManager) options = optionsManager->GetOptions();
  if (options) record_ = options;

  DynamicLibrary linkLibrary;
  if (!linkLibrary.Load("Wirehub.dll")) {
    ErrorBox(owner_, "Cannot find Orv Link Manager library", "Missing DLL");
    return;
  }
  auto getLinkManager = linkLibrary.Function<GetLinkManagerFunction>("GetLinkManager");
  if (!getLinkManager) {
    ErrorBox(owner_, "No entry point GetLinkManager in Options Manager library", "Corrupt DLL");
    return;
  }
  linkLibrary_ = linkLibrary.Detach();
  linkManager = getLinkManager();
  if (linkManager) linkManager->Initialise(owner_);
}

OrvServerImpl::~OrvServerImpl() {
  *alive_ = false;
  closing_ = true;
  {
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (thread_.joinable()) {
      Halt();
      stopSemaphore_.Release();
      if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
      else
        thread_.join();
    }
  }
  // The options record outlives this server when the options manager stays
  // open; it must not keep pointing at the channel.
  if (optionsManager && channel_) optionsManager->SetSemaphoreTarget(nullptr);
  registry_.reset();
  channel_.reset();
  context_.reset();
  if (auto close = reinterpret_cast<CloseOptionsManagerFunction>(
          DynamicLibrary::Symbol(optionsLibrary_, "CloseOptionsManager")))
    close();
  if (auto close = reinterpret_cast<CloseLinkManagerFunction>(
          DynamicLibrary::Symbol(linkLibrary_, "CloseLinkManager")))
    close();
}

void* OrvServerImpl::Start(HostCallbacks* callbacks) {
  std::lock_guard<std::mutex> lock(threadMutex_);
  // One server thread at a time: a second Start while it runs changes nothing.
  if (thread_.joinable()) return &thread_;
  host_ = callbacks;
  channel_.reset();
  context_ = std::make_unique<ServerContextImpl>(host_, record_);
  channel_ = std::make_unique<LinkChannel>(context_.get(), record_);
  if (Link* link = link_) channel_->SetLink(link);
  if (optionsManager) optionsManager->SetSemaphoreTarget(channel_.get());
  closing_ = false;
  thread_ = std::thread(&OrvServerImpl::ThreadMain, this);
  return &thread_;
}

void OrvServerImpl::SetLink(Link* link) {
  link_ = link;
  if (channel_) channel_->SetLink(link);
}

void OrvServerImpl::SetApplication(const char* path) {
  bool selected = path && path[0] != '\0' && strnlen(path, kPathSize) < static_cast<size_t>(kPathSize);
  if (selected) {
    // A relative path names a file from the directory current when the host
    // names it: every run makes its application's directory current, so at
    // a later load it would name another file, or none.
    std::string file = AbsoluteApplicationPath(path);
    std::lock_guard<std::mutex> lock(pathMutex_);
    std::memcpy(applicationPath_, path, std::strlen(path) + 1);
    applicationFile_ = std::move(file);
  }
  applicationSelected_ = selected;
}

void OrvServerImpl::ResetBoards(bool force) {
  Link* link = link_;
  if (!link || (record_->InhibitReset && !force)) return;
  bool monitor = record_->MonGeneral && context_;
  if (monitor) context_->Monitor("Resetting DSP modules");
  link->Reset();
  int delay = record_->ResetDelay;
  if (delay <= 0) return;
  if (monitor) {
    char text[64];
    std::snprintf(text, sizeof text, "Delay after reset of %dms", delay);
    context_->Monitor("%s", text);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

void OrvServerImpl::Run() {
  Release(RunRequest{});
}

void OrvServerImpl::Reconnect(bool sendWord, uint32_t word) {
  // The word is sent by the run itself, where a failing link ends that run
  // with its error instead of throwing into the host.
  Release(RunRequest{false, sendWord, word});
}

void OrvServerImpl::Release(const RunRequest& request) {
  std::lock_guard<std::mutex> lock(runMutex_);
  ReleasedRun run{++releasedRun_, request};
  if (released_.empty()) {
    released_.push_back(run);
    // Between runs the server thread is the waiter this release wakes: the
    // run is as good as taken, and another may wait behind it.
    handedOver_ = !inRun_;
  } else if (released_.size() < (handedOver_ ? 2u : 1u)) {
    released_.push_back(run);
  } else {
    released_.back() = run;
  }
  // The queue says what is to run; the semaphore only wakes the thread, and
  // a release it refuses at its maximum loses nothing.
  runSemaphore_.Release();
}

void OrvServerImpl::Halt() {
  std::lock_guard<std::mutex> lock(runMutex_);
  if (inRun_) {
    haltedRun_ = currentRun_;
    StopServingAndCancel();
    return;
  }
  // Runs released and not yet begun never start. Nothing of theirs waits on
  // the link, so it is left alone: a cancel left there would fail the first
  // read of the next run.
  if (!released_.empty()) haltedRun_ = released_.back().number;
}

void OrvServerImpl::StopServingAndCancel() {
  if (context_) context_->Halt();
  // A driver failing to cancel must neither reach the host's caller nor end
  // a destructor: the stop above still ends the run at its next request.
  try {
    if (Link* link = link_) link->Cancel();
  } catch (...) {
  }
}

void OrvServerImpl::Shutdown() {
  closing_ = true;
  stopSemaphore_.Release();
  std::lock_guard<std::mutex> lock(threadMutex_);
  // From the server thread itself (a host callback) there is nothing to wait
  // for: the thread ends when the callback returns to it.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool OrvServerImpl::CanRun() {
  if (context_ && context_->IsServing()) return false;
  return applicationSelected_;
}

void OrvServerImpl::SetCommandLine(const char* text) {
  if (context_) context_->SetCommandLine(text ? text : "");
}

const char* OrvServerImpl::GetCommandLine() {
  return context_ ? context_->CommandLine() : record_->CommandLine;
}

int OrvServerImpl::CommandLineLimit() {
  return kCommandLineLimit;
}

void OrvServerImpl::AddCluster(int number, Cluster* cluster) {
  if (!cluster) return;
  std::lock_guard<std::mutex> lock(registryMutex_);
  // The cluster was handed over with the call; without a run there is no
  // registry to keep it, so it goes at once rather than leak.
  if (!registry_) {
    delete cluster;
    return;
  }
  cluster->channel = channel_.get();
  cluster->context = context_.get();
  // Add keeps the cluster, or releases it before throwing duplicate_cluster.
  // On the server thread (a filter or a handler adding it) the error ends
  // the run through the serve loop and its guard.
  if (std::this_thread::get_id() == serverThread_.load()) {
    registry_->Add(number, cluster);
    return;
  }
  try {
    registry_->Add(number, cluster);
  } catch (const duplicate_cluster& error) {
    // The host's caller is no place for the run's error: the run stops and
    // its own thread reports it.
    if (!clusterRefused_) {
      clusterRefused_ = true;
      refusedCluster_ = error.Number();
    }
    StopServingAndCancel();
  }
}

void OrvServerImpl::SetRequestFilter(RequestFilter* filter) {
  filter_ = filter;
}

void OrvServerImpl::SignalHostSemaphore(int n) {
  // A mask has 32 bits; other numbers name no semaphore.
  if (channel_ && n >= 0 && n < 32) channel_->SignalSemaphore(n);
}

int OrvServerImpl::ExitStatus() {
  return context_ ? context_->ExitStatus() : 0;
}

WindowHandle OrvServerImpl::MainWindow() const {
  return host_ ? host_->MainWindow() : owner_;
}

void OrvServerImpl::ThreadMain() {
  serverThread_ = std::this_thread::get_id();
  HostCallbacks* host = host_;
  host->ThreadStarted();
  for (;;) {
    context_->CloseRedirections();
    bool pending;
    {
      std::lock_guard<std::mutex> lock(runMutex_);
      pending = !released_.empty();
    }
    // Stop is listed first, so a shutdown wins over a pending run.
    if (pending ? stopSemaphore_.TryWait() : Semaphore::WaitAny(stopSemaphore_, runSemaphore_) == 0) break;
    if (!PerformRun()) {
      // Deleted by the host in its RunFinished: only the host is left.
      host->ThreadEnding();
      return;
    }
  }
  host->ThreadEnding();
}

bool OrvServerImpl::Halted() const {
  return currentRun_ != 0 && currentRun_ <= haltedRun_;
}

bool OrvServerImpl::ShouldReport() const {
  if (closing_ || Halted()) return false;
  return !servePhase_ || context_->IsServing();
}

void OrvServerImpl::ReportError(const char* text, const char* caption) {
  Ui::MessageBox(MainWindow(), text, caption, MessageIcon::Warning);
}

bool OrvServerImpl::PerformRun() {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    // A wake-up left by a release whose run this thread has taken already.
    runSemaphore_.TryWait();
    if (released_.empty()) return true;
    currentRun_ = released_.front().number;
    run_ = released_.front().request;
    released_.pop_front();
    handedOver_ = false;
    inRun_ = true;
    // What stopped an earlier run stops nothing of this one.
    if (!Halted()) context_->BeginRun();
  }
  servePhase_ = false;
  // Each run reports its own status; one left from an earlier run would be
  // taken for this application's.
  context_->SetExitStatus(0);
  outcome_ = RunOutcome::Failed;
  // Halted before the server thread began it: nothing is loaded or served.
  bool started = !Halted();
  bool errorShown = started && GuardedRunCycle();
  ReportRefusedCluster(errorShown);
  // A link failure caused by Halt's cancel is the halt, not an error.
  if (Halted() && outcome_ == RunOutcome::Failed) outcome_ = RunOutcome::Halted;
  return CleanUpRun(started);
}

bool OrvServerImpl::GuardedRunCycle() {
  try {
    context_->OpenRedirections();
    RunCycle();
    return false;
  } catch (const ServerError& error) {
    if (!ShouldReport()) return false;
    ReportError(error.what(), "Server Error");
    return true;
  } catch (const QMXExc& error) {
    if (!ShouldReport()) return false;
    // The driver's texts need not be terminated within their fields.
    char text[sizeof error.message + sizeof error.file + 64];
    std::snprintf(text, sizeof text, "%.*s Error=%d Line=%d File=%.*s",
                  static_cast<int>(strnlen(error.message, sizeof error.message)), error.message, error.error,
                  error.line, static_cast<int>(strnlen(error.file, sizeof error.file)), error.file);
    ReportError(text, "Link Driver Error");
    return true;
  } catch (...) {
    if (!ShouldReport()) return false;
    ReportError("Abnormal program termination", "Server Error");
    return true;
  }
}

void OrvServerImpl::ReportRefusedCluster(bool errorShown) {
  int number;
  {
    std::lock_guard<std::mutex> lock(registryMutex_);
    if (!clusterRefused_) return;
    clusterRefused_ = false;
    number = refusedCluster_;
  }
  outcome_ = RunOutcome::Failed;
  // Said once: an error the guard already showed ended the run first.
  if (!errorShown && !closing_ && !Halted()) ReportError(duplicate_cluster(number).what(), "Server Error");
}

void OrvServerImpl::RunCycle() {
  if (run_.load) {
    LoadAndServe();
    return;
  }
  if (run_.notify) {
    // A data block of one word, in one write: the length word 4, then the word.
    unsigned char block[8];
    const uint32_t words[2] = {4, run_.word};
    for (int i = 0; i < 8; ++i) block[i] = static_cast<unsigned char>(words[i / 4] >> (8 * (i % 4)));
    channel_->WriteFramed(block, sizeof block);
  }
  if (record_->MonGeneral) context_->Monitor("Reconnecting to running application");
  Serve();
}

void OrvServerImpl::LoadAndServe() {
  WindowHandle window = MainWindow();
  if (!applicationSelected_) {
    Ui::MessageBox(window, "No Veltra application has been selected", "Error", MessageIcon::Warning);
    return;
  }
  char path[kPathSize];
  std::string file;
  {
    std::lock_guard<std::mutex> lock(pathMutex_);
    std::memcpy(path, applicationPath_, sizeof path);
    file = applicationFile_;
  }
  Link* link = link_;

  if (record_->C4x) {
    if (record_->MonGeneral) context_->Monitor("Loading C4x kernel file %s", record_->RootKernel);
    if (!link || !link->LoadFile(record_->RootKernel)) {
      ErrorBox(window, "Cannot load C4x kernel", "Loading");
      return;
    }
  }

  if (record_->MonGeneral) context_->Monitor("Loading %s", path);
  std::memcpy(loadedPath_, path, sizeof loadedPath_);
  context_->SetApplicationPath(loadedPath_);
  MakeApplicationDirectoryCurrent(file);

  if (!link || !link->LoadFile(file.c_str())) {
    char caption[kPathSize + 32];
    std::snprintf(caption, sizeof caption, "Failed to load %s", path);
    const char* reason = link ? link->LoadError() : "No link to the hardware is available";
    ErrorBox(window, reason ? reason : "", caption);
    return;
  }
  if (record_->MonGeneral) context_->Monitor("Loading completed");

  if (record_->Alone) {
    Ui::MessageBox(window,
                   "Standalone application running\nSee View/Options/Parameters/Standalone application",
                   "Loaded", MessageIcon::Information);
    outcome_ = RunOutcome::Terminated;
    return;
  }
  Serve();
}

void OrvServerImpl::Serve() {
  context_->SetServing(true);
  servePhase_ = true;
  // Stopped while loading: the application is not served.
  if (Halted()) {
    context_->SetServing(false);
    outcome_ = RunOutcome::Halted;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(registryMutex_);
    registry_.reset();
    registry_ = std::make_unique<ClusterRegistry>(channel_.get(), context_.get(), record_);
    clusterRefused_ = false;  // one left from the end of an earlier run
    RegisterBuiltinClusters(*registry_);
  }
  // A run that ended in the middle of a request must not leave the rest of
  // that block to be read as the next run's first request.
  channel_->Discard();
  bool ended = ServeLoop(*context_, *channel_, *registry_, filter_);
  outcome_ = !ended ? RunOutcome::Failed : Halted() ? RunOutcome::Halted : RunOutcome::Terminated;
}

bool OrvServerImpl::CleanUpRun(bool started) {
  context_->SetServing(false);
  if (record_->MonGeneral) context_->Monitor("Server terminated");
  context_->CloseRedirections();
  {
    std::lock_guard<std::mutex> lock(registryMutex_);
    registry_.reset();
  }
  {
    // Under the lock, so a Halt either cancels before RunEnded clears the
    // cancel, or finds the run over and leaves the link alone.
    std::lock_guard<std::mutex> lock(runMutex_);
    // A driver failing while the run is wound up must not end the server
    // thread; the run is over either way.
    // A run that never started has nothing on the link to stop, and leaves
    // no cancel there for the next one.
    if (started) StopServingAndCancel();
    try {
      if (Link* link = link_) link->RunEnded();
    } catch (...) {
    }
    inRun_ = false;
  }
  // Read first: the host may delete this server in its RunFinished.
  // The host may set it for its next run while this one winds up.
  bool exitOnStop = std::atomic_ref<unsigned char>(record_->ExitOnStop).load(std::memory_order_relaxed);
  WindowHandle window = MainWindow();
  std::shared_ptr<std::atomic<bool>> alive = alive_;
  host_->RunFinished();
  if (exitOnStop) Ui::PostQuit(window);
  return *alive;
}

}  // namespace veltra
