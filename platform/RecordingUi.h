// Backend for tests: keeps every box and quit request, answers from a queue
// of scripted results (or the default button).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/Ui.h"

namespace veltra {

struct RecordedBox {
  WindowHandle owner;
  std::string text;
  std::string caption;
  MessageIcon icon;
  MessageButtons buttons;
};

class VELTRA_EXPORT RecordingUi : public UiBackend {
 public:
  MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                           MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) override;
  void PostQuit(WindowHandle owner) override;

  void QueueAnswer(MessageResult answer);
  std::vector<RecordedBox> Boxes() const;
  std::vector<WindowHandle> Quits() const;
  void Clear();
  // Waits until at least count boxes were shown; false on time-out.
  bool WaitForBoxes(size_t count, int milliseconds = 5000) const;

 private:
  mutable std::mutex mutex_;  // guards boxes_, quits_ and answers_
  mutable std::condition_variable changed_;
  std::vector<RecordedBox> boxes_;
  std::vector<WindowHandle> quits_;
  std::deque<MessageResult> answers_;
};

}  // namespace veltra
