// The host's HostCallbacks for one document: the application's output goes
// to the terminal store after page mode and pause have had their say, and
// input lines come from the standard input dialog. Called on the server
// thread; window work goes to the GUI thread through the document.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "veltra/HostCallbacks.h"

namespace veltra {

class CHostrixDoc;

class HostConsole final : public HostCallbacks {
 public:
  static constexpr int kInitialPageLength = 25;
  static constexpr int kInputTitleSize = 64;

  explicit HostConsole(CHostrixDoc* document) : document_(document) {}

  void Output(const char* text, bool toStderr) override;
  int ReadLine(char* buffer, int size) override;
  void RunFinished() override;
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override;
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char* title) override;

  std::string InputTitle() const;

  // Page length n (at least 1); a new value also refills the page.
  void SetPageLength(int n);
  int PageLength() const { return pageLength_; }
  int LinesLeft() const { return linesLeft_; }
  bool Paused() const { return paused_; }
  bool PageMode() const { return pageMode_; }
  // The Pause and Page Mode commands (GUI thread).
  void SetPaused(bool paused) { paused_ = paused; }
  void TogglePageMode();

 private:
  void WaitForPauseGate();

  // Written by both threads without the store's lock, as plain flags are.
  std::atomic<bool> paused_{false};
  std::atomic<bool> pageMode_{false};
  std::atomic<int> pageLength_{kInitialPageLength};
  std::atomic<int> linesLeft_{-1};
  mutable std::mutex titleMutex_;  // guards inputTitle_
  std::string inputTitle_ = "Standard Input";
  CHostrixDoc* document_;
};

}  // namespace veltra
