#include "host/HostConsole.h"

#include <cstring>

#include "host/CHostrixDoc.h"

namespace veltra {

void HostConsole::Output(const char* text, bool) {
  // Monitor lines of a reset or a semaphore the GUI thread asked for arrive
  // on that thread: holding it at the gate would leave nobody to press Pause.
  if (!document_->OnGuiThread()) {
    int left = --linesLeft_;
    if (paused_ || (left == 0 && pageMode_)) {
      WaitForPauseGate();
      linesLeft_ = pageLength_.load();
    }
  }
  document_->Store().Write(text);
}

void HostConsole::WaitForPauseGate() {
  if (document_->IsClosing()) return;
  paused_ = true;
  document_->GuiRequest(CHostrixDoc::kShowPaused);
  document_->PauseGate().Wait();
  document_->GuiRequest(CHostrixDoc::kClearPaused);
}

int HostConsole::ReadLine(char* buffer, int size) {
  return document_->ReadLine(buffer, size);
}

void HostConsole::RunFinished() {
  document_->RunFinished();
}

WindowHandle HostConsole::MainWindow() {
  return document_->MainWindowHandle();
}

void HostConsole::SetInputTitle(const char* title) {
  std::lock_guard<std::mutex> lock(titleMutex_);
  inputTitle_.assign(title ? title : "", title ? strnlen(title, kInputTitleSize - 1) : 0);
}

std::string HostConsole::InputTitle() const {
  std::lock_guard<std::mutex> lock(titleMutex_);
  return inputTitle_;
}

void HostConsole::SetPageLength(int n) {
  if (n < 1) n = 1;
  if (pageLength_.exchange(n) != n) linesLeft_ = n;
}

void HostConsole::TogglePageMode() {
  pageMode_ = !pageMode_;
  linesLeft_ = pageLength_.load();
}

}  // namespace veltra
