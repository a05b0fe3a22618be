// The Ui backend of the GUI host. Boxes and every other call made on another
// thread run on the GUI thread, and the caller waits for them. A window
// handle in this program is the QWidget of the main frame.
//
// Quitting must never hang on a caller that waits: once BeginClosing has been
// called, calls that have not started are dropped (their callers return at
// once), new ones are not run, and a call that is running is ended by closing
// every dialog that is open.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Ui.h"

namespace veltra {

struct ShownBox {
  std::string caption;
  std::string text;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
  bool owned = false;  // owned by the main window
};

class QtUi final : public QObject, public UiBackend {
  Q_OBJECT

 public:
  // Made on the GUI thread, after the QApplication.
  QtUi();
  ~QtUi() override;

  void SetMainWindow(QWidget* window);
  QWidget* MainWindowWidget() const { return mainWindow_; }

  MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                           MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) override;
  void PostQuit(WindowHandle owner) override;
  void Invoke(const std::function<void()>& function) override;
  // As Invoke; false when the call was dropped because the program is quitting.
  bool RunOnGuiThread(const std::function<void()>& function);

  // Whether a call from another thread is being carried out on the GUI
  // thread (its caller waits for it): code nested inside it must not wait
  // for that caller in turn.
  bool InOtherThreadsCall() const { return runningTasks_ > 0; }

  // GUI thread only.
  void BeginClosing();
  bool IsClosing() const;
  static void CloseDialogs();

  // Instead of showing boxes: every box is recorded and answered by the
  // function (tests, and runs without a user: see VELTRA_BOXES).
  using Answerer = std::function<MessageResult(const ShownBox& box, MessageResult defaultButton)>;
  void SetAnswerer(Answerer answerer);
  std::vector<ShownBox> Boxes() const;
  // Waits on the GUI thread (events go on) until count boxes were recorded.
  bool WaitForBoxes(size_t count, int milliseconds) const;

  static WindowHandle Handle(QWidget* widget) { return reinterpret_cast<WindowHandle>(widget); }
  static QWidget* Widget(WindowHandle handle) { return reinterpret_cast<QWidget*>(handle); }

 private:
  enum class TaskState { Pending, Running, Done, Dropped };
  struct Task {
    const std::function<void()>* function = nullptr;
    TaskState state = TaskState::Pending;
    std::exception_ptr error;
  };
  void RunTask(const std::shared_ptr<Task>& task);
  // Runs what other threads queued (on the GUI thread, woken by wake_).
  void RunQueuedTasks();
  void Wake();
  bool OnGuiThread() const;
  MessageResult ShowBox(WindowHandle owner, const std::string& text, const std::string& caption,
                        MessageIcon icon, MessageButtons buttons, MessageResult defaultButton);

  const std::thread::id guiThread_;
  // Other threads wake the GUI thread through this eventfd, not through Qt:
  // a thread Qt did not start that calls into Qt gets per-thread data of
  // Qt's that is not always freed when the thread ends.
  int wake_ = -1;
  std::atomic<bool> quitRequested_{false};
  QPointer<QWidget> mainWindow_;
  // Guards the task states, pending_, closing_, boxes_ and answerer_.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Task>> pending_;
  bool closing_ = false;
  std::atomic<int> runningTasks_{0};
  Answerer answerer_;
  std::vector<ShownBox> boxes_;
};

}  // namespace veltra
