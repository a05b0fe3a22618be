#include "host/CHostrixDoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QThread>
#include <atomic>
#include <cstring>
#include <filesystem>

#include "host/ApplicationTitle.h"
#include "host/BadTty.h"
#include "host/CMainFrame.h"
#include "host/HostCommandLine.h"
#include "host/QtUi.h"
#include "host/RecentFileList.h"
#include "host/ReconnectDialog.h"
#include "host/SharedInstanceBlock.h"
#include "platform/Ui.h"
#include "platform/settings/Profile.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/RequestChannel.h"
#include "veltra/ServerError.h"

namespace veltra {

namespace {

constexpr const char* kEngineLibrary = "Orvcore.dll";
constexpr const char* kNoLink = "No link to the hardware is available";
constexpr const char* kResetFailed = "Error resetting target system";
constexpr int kStoppedRunWait = 10000;  // milliseconds

}  // namespace

CHostrixDoc::CHostrixDoc(SharedInstanceBlock& shared, RecentFileList& recentFiles)
    : shared_(shared), recentFiles_(recentFiles), guiThread_(std::this_thread::get_id()) {
  if (!store_.Allocate()) throw bad_tty(0);
  echo_ = GetProfileInt(kSettingsSection, "Echoing", 1) != 0;
  console_ = std::make_unique<HostConsole>(this);
}

CHostrixDoc::~CHostrixDoc() {
  Shutdown();
}

bool CHostrixDoc::LoadEngine(std::string& fatalText) {
  if (!engine_.Load(kEngineLibrary)) {
    fatalText = "Cannot load server library " + DynamicLibrary::FileName(kEngineLibrary);
    return false;
  }
  if (auto version = engine_.Function<GetOrvServerVersionFunction>("GetOrvServerVersion"))
    version(&engineMajor_, &engineMinor_);
  return true;
}

bool CHostrixDoc::CreateServer(CMainFrame* frame, std::string& fatalText) {
  SetFrame(frame);
  getServer_ = engine_.Function<GetOrvServerFunction>("GetOrvServer");
  if (!getServer_) {
    fatalText = "Cannot find entrypoint \"GetOrvServer\" in library " + engine_.Path();
    engine_.Free();
    return false;
  }
  // The engine stays loaded for the life of the process.
  engine_.Detach();
  engineServer_ = getServer_(mainWindow_);
  server_ = engineServer_;
  if (server_) server_->Start(console_.get());
  return true;
}

void CHostrixDoc::SetFrame(CMainFrame* frame) {
  frame_ = frame;
  mainWindow_ = frame ? QtUi::Handle(frame) : nullptr;
}

void CHostrixDoc::ErrorBox(const char* text, const char* caption) {
  Ui::MessageBox(mainWindow_, text, caption, MessageIcon::Error);
}

void CHostrixDoc::SetRunning(const char* paneText) {
  if (frame_) {
    frame_->SetPane(2, paneText);
    frame_->SetFileMenuEnabled(!running_);
  }
  RefreshCommands();
}

void CHostrixDoc::RefreshCommands() {
  if (frame_) frame_->UpdateCommands();
}

void CHostrixDoc::OnRun() {
  if (closing_) return;
  Link* link = server_ && server_->linkManager ? server_->linkManager->CurrentLink() : nullptr;
  if (running_ || !server_) return;
  if (!link) {
    ErrorBox(kNoLink, "Run");
    return;
  }
  WaitForStoppedRun();
  if (closing_ || running_) return;
  if (server_->options && server_->options->ClearOnStart) {
    store_.Clear();
    store_.SetRepaintAll();
  }
  server_->SetLink(link);
  try {
    server_->ResetBoards(false);
  } catch (...) {
    ErrorBox(kResetFailed, "Run");
    return;
  }
  running_ = true;
  SetRunning("Running");
  loadedApplication_ = true;
  ++runsStarted_;
  server_->Run();
}

void CHostrixDoc::OnStop() {
  running_ = false;
  SetRunning("Stopping");
  console_->SetPaused(false);
  if (frame_) frame_->SetPauseChecked(false);
  pauseGate_.Release();
  if (server_) server_->Halt();
  // A line the application is reading stays unanswered otherwise.
  if (frame_) frame_->EndStandardInput();
  store_.EndLineIfChangedOrUnfinished();
}

void CHostrixDoc::OnReconnect() {
  if (closing_) return;
  if (running_) {
    ErrorBox("Server is already connected to a running application", "Reconnect");
    return;
  }
  if (!server_) return;
  ReconnectDialog dialog(frame_);
  if (dialog.exec() != QDialog::Accepted || closing_) return;
  bool notifyFlag = dialog.NotifyFlag() != 0;
  Link* link = server_->linkManager ? server_->linkManager->CurrentLink() : nullptr;
  if (!link) {
    ErrorBox(kNoLink, "Reconnect");
    return;
  }
  WaitForStoppedRun();
  if (closing_ || running_) return;
  server_->SetLink(link);
  running_ = true;
  SetRunning("Running");
  ++runsStarted_;
  server_->Reconnect(notifyFlag, 0);
}

void CHostrixDoc::OnReset() {
  if (!server_ || closing_) return;
  Link* link = server_->linkManager ? server_->linkManager->CurrentLink() : nullptr;
  if (!link) {
    ErrorBox(kNoLink, "Reset");
    return;
  }
  server_->SetLink(link);
  try {
    server_->ResetBoards(true);
  } catch (...) {
    ErrorBox(kResetFailed, "Reset");
  }
}

void CHostrixDoc::OnBoardSelect() {
  if (!server_ || !server_->linkManager || closing_) return;
  server_->linkManager->SelectInterface(mainWindow_);
  char name[kInterfaceNameSize] = {};
  server_->linkManager->InterfaceName(name);
  name[kInterfaceNameSize - 1] = '\0';
  if (frame_) frame_->SetPane(4, name);
}

void CHostrixDoc::OnBoardProperties() {
  if (!server_ || !server_->linkManager || closing_) return;
  if (Link* link = server_->linkManager->CurrentLink()) link->ShowProperties();
}

void CHostrixDoc::OnOptions() {
  if (server_ && server_->optionsManager && !closing_) server_->optionsManager->ShowOptionsSheet();
}

void CHostrixDoc::OnHostSemaphore(int n) {
  if (!server_ || !server_->options || !server_->options->SemaphoreTarget) return;
  try {
    server_->options->SemaphoreTarget->SignalSemaphore(n);
  } catch (const QMXExc& e) {
    // Before the application is loaded, or after it ended, the link refuses.
    std::string text(e.message, strnlen(e.message, sizeof e.message));
    Ui::MessageBox(mainWindow_, text.empty() ? "The link refused the host semaphore" : text,
                   "Link Driver Error", MessageIcon::Warning);
  } catch (...) {
  }
}

void CHostrixDoc::OnApplication() {
  if (!server_ || closing_) return;
  QString path =
      QFileDialog::getOpenFileName(frame_, "Select Veltra Application", QString(),
                                   "Veltra Applications (.app) (*.APP *.app);;All Files (*.*) (*)");
  if (path.isEmpty() || closing_) return;
  Select(path.toStdString());
}

void CHostrixDoc::Select(const std::string& path) {
  if (!server_ || closing_) return;
  std::string problem = ApplicationFileProblem(path);
  if (!problem.empty()) {
    Ui::MessageBox(mainWindow_, "Application " + path + " cannot be opened:\n" + problem,
                   "Select Veltra Application", MessageIcon::Error);
    return;
  }
  ShowApplicationTitle(path);
  server_->SetApplication(path.c_str());
  RefreshCommands();
  if (server_->options && server_->options->RunOnSelect) OnRun();
}

std::string CHostrixDoc::ApplicationCommandLine() const {
  // The command line the user typed on the options sheet stands; the old
  // "Command_Line" value only fills in when the sheet's is empty.
  if (server_ && server_->options && server_->options->CommandLine[0] != '\0')
    return std::string(server_->options->CommandLine,
                       strnlen(server_->options->CommandLine, kCommandLineLimit));
  return GetProfileString(kSettingsSection, "Command_Line").substr(0, kCommandLineLimit);
}

void CHostrixDoc::OpenApplication() {
  if (!server_ || closing_) return;
  if (running_) {
    MessageResult answer =
        Ui::MessageBox(mainWindow_,
                       "The server is currently executing an application\n"
                       "Do you wish to terminate that application and run\n"
                       "this new one?",
                       "Server running", MessageIcon::Warning, MessageButtons::YesNo, MessageResult::No);
    if (answer != MessageResult::Yes || closing_) return;
    OnStop();
  }
  std::string directory = shared_.WorkingDirectory();
  std::string path = shared_.ApplicationPath();
  if (!directory.empty()) {
    std::error_code ec;
    std::filesystem::current_path(directory, ec);
  }
  try {
    ShowApplicationTitle(path);
    server_->SetApplication(path.c_str());
    server_->SetCommandLine(ApplicationCommandLine().c_str());
  } catch (const ServerError& e) {
    Ui::MessageBox(mainWindow_, e.what(), "Server Error", MessageIcon::Warning);
    server_ = nullptr;
    RefreshCommands();
    return;
  }
  RefreshCommands();
  if (!path.empty() && server_->options && server_->options->AutoRun) {
    // The run stopped above may still be reading it as it winds up.
    std::atomic_ref<unsigned char>(server_->options->ExitOnStop)
        .store(shared_.Data().exitFlag, std::memory_order_relaxed);
    OnRun();
  }
}

void CHostrixDoc::ShowApplicationTitle(const std::string& path) {
  if (frame_) frame_->SetTitle(ApplicationTitle(shared_.InstanceCounter(), path));
  recentFiles_.Add(path);
  if (frame_ && !path.empty()) frame_->UpdateRecentFiles();
}

void CHostrixDoc::OnPause() {
  bool paused = !console_->Paused();
  console_->SetPaused(paused);
  if (frame_) frame_->SetPauseChecked(paused);
  if (!paused) pauseGate_.Release();
}

void CHostrixDoc::OnPageMode() {
  console_->TogglePageMode();
  if (frame_) {
    frame_->SetPane(3, console_->PageMode() ? "Page Mode" : "");
    frame_->SetPageModeChecked(console_->PageMode());
  }
}

void CHostrixDoc::OnClearScreen() {
  store_.Clear();
  if (frame_) frame_->RepaintView();
}

bool CHostrixDoc::RunEnabled() {
  return !running_ && server_ && server_->CanRun();
}

void CHostrixDoc::GuiRequest(int kind) {
  Ui::Invoke([this, kind] {
    if (frame_) frame_->GuiRequest(kind);
  });
}

int CHostrixDoc::ReadLine(char* buffer, int size) {
  inputBuffer_ = buffer;
  inputSize_ = size;
  inputCount_ = 0;
  if (size > 0) buffer[0] = '\0';
  if (!closing_) GuiRequest(kStandardInput);
  inputBuffer_ = nullptr;
  return inputCount_;
}

void CHostrixDoc::RunStandardInput() {
  if (!frame_ || !inputBuffer_ || inputSize_ <= 0) return;
  StandardInputResult result = frame_->RunStandardInput(console_->InputTitle(), echo_);
  if (result.echo != echo_) {
    echo_ = result.echo;
    WriteProfileInt(kSettingsSection, "Echoing", echo_ ? 1 : 0);
  }
  inputCount_ = 0;
  inputBuffer_[0] = '\0';
  switch (result.kind) {
    case StandardInputResult::Terminate:
      if (server_) server_->Halt();
      return;  // no echo
    case StandardInputResult::EndOfFile:
      break;
    case StandardInputResult::CtrlZ:
      std::snprintf(inputBuffer_, static_cast<size_t>(inputSize_), "^Z\n");
      break;
    case StandardInputResult::Line: {
      // Room for the newline and the terminating NUL.
      int n = static_cast<int>(
          std::min<size_t>(result.text.size(), static_cast<size_t>(std::max(0, inputSize_ - 2))));
      std::memcpy(inputBuffer_, result.text.data(), static_cast<size_t>(n));
      if (n + 1 < inputSize_) {
        inputBuffer_[n] = '\n';
        inputBuffer_[n + 1] = '\0';
        inputCount_ = n + 1;
      } else {
        inputBuffer_[n] = '\0';
        inputCount_ = n;
      }
      break;
    }
  }
  if (echo_) store_.Write(inputBuffer_);
}

void CHostrixDoc::WaitForStoppedRun() {
  // Nested inside a call the server thread waits for (its line dialog, say),
  // the stopped run cannot end before this command returns.
  auto* qtUi = dynamic_cast<QtUi*>(&Ui::Current());
  if (qtUi && qtUi->InOtherThreadsCall()) return;
  QElapsedTimer timer;
  timer.start();
  // Bounded: should the engine ever fold two runs into one, a command must
  // not hang on it.
  while (runsFinished_ < runsStarted_ && !closing_ && timer.elapsed() < kStoppedRunWait) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    QThread::msleep(1);
  }
  if (runsFinished_ < runsStarted_) runsFinished_ = runsStarted_.load();
}

void CHostrixDoc::RunFinished() {
  // Counted when all its window work is done, at the end.
  struct Finished {
    std::atomic<long>& count;
    ~Finished() { ++count; }
  } finished{runsFinished_};
  // The end of a run that a newer one has superseded changes nothing.
  if (runsFinished_ + 1 < runsStarted_) return;
  running_ = false;
  // The last line of the run is drawn even when no line end follows it.
  store_.EndLineIfChangedOrUnfinished();
  Ui::Invoke([this] {
    if (frame_) frame_->SetFileMenuEnabled(true);
    RefreshCommands();
  });
  GuiRequest(kClearRunning);
  if (server_ && server_->options && server_->options->SayStop && !closing_)
    Ui::MessageBox(mainWindow_,
                   "Your Veltra application has stopped.\n\nTo inhibit this message, clear\n"
                   "View/Options/Report Application Termination",
                   "Termination", MessageIcon::Information);
}

void CHostrixDoc::BeginClose() {
  closing_ = true;
  console_->SetPaused(false);
  pauseGate_.Release();
  if (engineServer_) engineServer_->Halt();
}

void CHostrixDoc::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  closing_ = true;
  pauseGate_.Release();
  if (engineServer_) engineServer_->Halt();
  running_ = false;
  console_->SetPaused(false);
  if (engineServer_) {
    engineServer_->Shutdown();
    // No application process this instance started outlives it.
    if (loadedApplication_ && engineServer_->linkManager) {
      try {
        if (Link* link = engineServer_->linkManager->CurrentLink()) link->Reset();
      } catch (...) {
      }
    }
    delete engineServer_;
    engineServer_ = nullptr;
    server_ = nullptr;
  }
  frame_ = nullptr;
}

}  // namespace veltra
