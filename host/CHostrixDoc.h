// The document: the host's end of the server engine. It binds the engine
// library, owns the server object, the HostConsole and the terminal store,
// and carries out every command that drives the engine. Commands run on the
// GUI thread; the console's calls arrive on the server thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "host/HostConsole.h"
#include "host/TerminalStore.h"
#include "platform/DynamicLibrary.h"
#include "platform/Semaphore.h"
#include "veltra/OrvServer.h"

namespace veltra {

class CMainFrame;
class RecentFileList;
class SharedInstanceBlock;

class CHostrixDoc {
 public:
  // GuiRequest kinds.
  static constexpr int kRefreshViews = 0;
  static constexpr int kStandardInput = 1;
  static constexpr int kShowPaused = 2;
  static constexpr int kClearPaused = 3;
  static constexpr int kClearRunning = 4;

  // Throws bad_tty when the terminal store cannot be had.
  CHostrixDoc(SharedInstanceBlock& shared, RecentFileList& recentFiles);
  ~CHostrixDoc();
  CHostrixDoc(const CHostrixDoc&) = delete;
  CHostrixDoc& operator=(const CHostrixDoc&) = delete;

  // Binding, steps 3 and 4: false with the "Fatal Error" text in fatalText.
  bool LoadEngine(std::string& fatalText);
  // Steps 6 to 8, once the frame exists: false with the fatal text.
  bool CreateServer(CMainFrame* frame, std::string& fatalText);
  void SetFrame(CMainFrame* frame);

  // Commands (GUI thread).
  void OnRun();
  void OnStop();
  void OnReconnect();
  void OnReset();
  void OnBoardSelect();
  void OnBoardProperties();
  void OnOptions();
  void OnHostSemaphore(int n);
  void OnApplication();
  void Select(const std::string& path);
  void OpenApplication();
  void OnPause();
  void OnPageMode();
  void OnClearScreen();
  void ShowApplicationTitle(const std::string& path);

  // Enabling rules.
  bool RunEnabled();
  bool StopEnabled() const { return running_; }
  bool IdleCommandsEnabled() const { return !running_; }

  // Quitting: first BeginClose on the GUI thread (nothing waits any more),
  // then Shutdown once the event loops have ended (the server thread ends).
  void BeginClose();
  void Shutdown();
  bool IsClosing() const { return closing_; }

  // Server-thread side.
  void GuiRequest(int kind);
  int ReadLine(char* buffer, int size);
  void RunFinished();
  // Run by GuiRequest kind 1 on the GUI thread: leaves the count of the line.
  void RunStandardInput();

  TerminalStore& Store() { return store_; }
  HostConsole& Console() { return *console_; }
  Semaphore& PauseGate() { return pauseGate_; }
  OrvServer* Server() const { return server_; }
  bool Running() const { return running_; }
  bool Echo() const { return echo_; }
  bool OnGuiThread() const { return std::this_thread::get_id() == guiThread_; }
  WindowHandle MainWindowHandle() const { return mainWindow_; }
  SharedInstanceBlock& Shared() { return shared_; }
  int EngineMajor() const { return engineMajor_; }
  int EngineMinor() const { return engineMinor_; }
  // The command line OpenApplication gives the engine (see the README).
  std::string ApplicationCommandLine() const;

 private:
  void SetRunning(const char* paneText);
  // A stopped run still winding down is waited for (events go on meanwhile),
  // so that its end is never taken for the end of the run that follows.
  void WaitForStoppedRun();
  void RefreshCommands();
  void ErrorBox(const char* text, const char* caption);

  SharedInstanceBlock& shared_;
  RecentFileList& recentFiles_;
  const std::thread::id guiThread_;
  TerminalStore store_;
  Semaphore pauseGate_{0, 1};
  std::unique_ptr<HostConsole> console_;
  DynamicLibrary engine_;
  GetOrvServerFunction getServer_ = nullptr;
  // The server the commands use; null once an open failed for good.
  OrvServer* server_ = nullptr;
  // The server object itself, shut down at the end whatever happened.
  OrvServer* engineServer_ = nullptr;
  CMainFrame* frame_ = nullptr;
  WindowHandle mainWindow_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> echo_{true};
  std::atomic<bool> closing_{false};
  std::atomic<long> runsStarted_{0};
  std::atomic<long> runsFinished_{0};
  bool shutDown_ = false;
  // An application this instance loaded, ended with the program.
  bool loadedApplication_ = false;
  char* inputBuffer_ = nullptr;
  int inputSize_ = 0;
  int inputCount_ = 0;
  int engineMajor_ = 0;
  int engineMinor_ = 0;
};

}  // namespace veltra
