// Backend of the headless runner: boxes go to standard error as
// "caption: text" and answer with their default button.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/Ui.h"

namespace veltra {

class VELTRA_EXPORT ConsoleUi : public UiBackend {
 public:
  explicit ConsoleUi(std::FILE* stream = stderr) : stream_(stream) {}
  MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                           MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) override;
  void PostQuit(WindowHandle owner) override;
  bool QuitPosted() const { return quitPosted_; }

 private:
  std::mutex mutex_;  // guards writes to stream_, so two boxes never interleave
  std::FILE* stream_;
  std::atomic<bool> quitPosted_{false};
};

}  // namespace veltra
