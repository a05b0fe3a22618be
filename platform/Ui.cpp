#include "platform/Ui.h"

#include <atomic>
#include <chrono>

#include "platform/ConsoleUi.h"
#include "platform/RecordingUi.h"

namespace veltra {

const char* MessageIconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None:
      return "none";
    case MessageIcon::Information:
      return "information";
    case MessageIcon::Warning:
      return "warning";
    case MessageIcon::Error:
      return "error";
    case MessageIcon::Question:
      return "question";
  }
  return "none";
}

const char* MessageResultName(MessageResult result) {
  switch (result) {
    case MessageResult::Ok:
      return "OK";
    case MessageResult::Cancel:
      return "Cancel";
    case MessageResult::Yes:
      return "Yes";
    case MessageResult::No:
      return "No";
  }
  return "OK";
}

UiBackend::~UiBackend() = default;

void UiBackend::Invoke(const std::function<void()>& function) {
  function();
}

namespace {

UiBackend& ConsoleBackend() {
  static ConsoleUi console;
  return console;
}

std::atomic<UiBackend*> installed{nullptr};

}  // namespace

namespace Ui {

void Install(UiBackend* backend) {
  installed.store(backend);
}

UiBackend& Current() {
  UiBackend* backend = installed.load();
  return backend ? *backend : ConsoleBackend();
}

MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                         MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) {
  return Current().MessageBox(owner, text, caption, icon, buttons, defaultButton);
}

void PostQuit(WindowHandle owner) {
  Current().PostQuit(owner);
}

void Invoke(const std::function<void()>& function) {
  Current().Invoke(function);
}

}  // namespace Ui

MessageResult ConsoleUi::MessageBox(WindowHandle, const std::string& text, const std::string& caption,
                                    MessageIcon, MessageButtons, MessageResult defaultButton) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stream_, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stream_);
  return defaultButton;
}

void ConsoleUi::PostQuit(WindowHandle) {
  quitPosted_ = true;
}

MessageResult RecordingUi::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                      MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back({owner, text, caption, icon, buttons});
  changed_.notify_all();
  if (answers_.empty()) return defaultButton;
  MessageResult answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void RecordingUi::PostQuit(WindowHandle owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  quits_.push_back(owner);
  changed_.notify_all();
}

void RecordingUi::QueueAnswer(MessageResult answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(answer);
}

std::vector<RecordedBox> RecordingUi::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<WindowHandle> RecordingUi::Quits() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quits_;
}

void RecordingUi::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.clear();
  quits_.clear();
  answers_.clear();
}

bool RecordingUi::WaitForBoxes(size_t count, int milliseconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [&] { return boxes_.size() >= count; });
}

}  // namespace veltra
