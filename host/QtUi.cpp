#include "host/QtUi.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>

#include <cstdio>

namespace veltra {

namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ToQt(MessageResult result) {
  switch (result) {
    case MessageResult::Ok:
      return QMessageBox::Ok;
    case MessageResult::Cancel:
      return QMessageBox::Cancel;
    case MessageResult::Yes:
      return QMessageBox::Yes;
    case MessageResult::No:
      return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
      return QMessageBox::Ok;
    case MessageButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

}  // namespace

QtUi::QtUi() : guiThread_(std::this_thread::get_id()) {
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ >= 0) {
    auto* notifier = new QSocketNotifier(wake_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QtUi::RunQueuedTasks);
  }
  if (const char* boxes = std::getenv("VELTRA_BOXES"); boxes && std::string(boxes) == "stderr") {
    SetAnswerer([](const ShownBox& box, MessageResult defaultButton) {
      std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
      std::fflush(stderr);
      return defaultButton;
    });
  }
}

QtUi::~QtUi() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (auto& task : pending_)
      if (task->state == TaskState::Pending) task->state = TaskState::Dropped;
    pending_.clear();
    changed_.notify_all();
  }
  if (wake_ >= 0) close(wake_);
}

void QtUi::Wake() {
  uint64_t one = 1;
  if (wake_ >= 0) [[maybe_unused]]
    ssize_t written = write(wake_, &one, sizeof one);
}

void QtUi::RunQueuedTasks() {
  uint64_t count = 0;
  if (wake_ >= 0) [[maybe_unused]]
    ssize_t got = read(wake_, &count, sizeof count);
  if (quitRequested_.exchange(false)) {
    // Closing the main window ends the program the way a user closing it does.
    if (mainWindow_)
      mainWindow_->close();
    else
      QCoreApplication::quit();
  }
  for (;;) {
    std::shared_ptr<Task> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pending_.empty()) return;
      task = pending_.front();
    }
    RunTask(task);
  }
}

void QtUi::SetMainWindow(QWidget* window) {
  mainWindow_ = window;
}

bool QtUi::OnGuiThread() const {
  // Not QThread::currentThread(): asked from a thread Qt did not start, it
  // gives that thread Qt's bookkeeping, which Qt may not free at its end.
  return std::this_thread::get_id() == guiThread_;
}

MessageResult QtUi::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                               MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) {
  MessageResult result = defaultButton;
  RunOnGuiThread([&] { result = ShowBox(owner, text, caption, icon, buttons, defaultButton); });
  return result;
}

MessageResult QtUi::ShowBox(WindowHandle owner, const std::string& text, const std::string& caption,
                            MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) {
  QWidget* parent =
      owner && mainWindow_ && Widget(owner) == mainWindow_.data() ? mainWindow_.data() : nullptr;
  ShownBox shown{caption, text, icon, buttons, parent != nullptr};
  Answerer answerer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(shown);
    changed_.notify_all();
    if (closing_) return defaultButton;
    answerer = answerer_;
  }
  if (answerer) return answerer(shown, defaultButton);
  QMessageBox box(ToQt(icon), QString::fromLocal8Bit(caption.c_str()), QString::fromLocal8Bit(text.c_str()),
                  ToQt(buttons), parent);
  box.setDefaultButton(ToQt(defaultButton));
  int answer = box.exec();
  // A box closed by quitting, or by its frame, answers as its escape button.
  switch (answer) {
    case QMessageBox::Ok:
      return MessageResult::Ok;
    case QMessageBox::Yes:
      return MessageResult::Yes;
    case QMessageBox::No:
      return MessageResult::No;
    case QMessageBox::Cancel:
      return MessageResult::Cancel;
    default:
      break;
  }
  if (buttons == MessageButtons::YesNo) return MessageResult::No;
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  return MessageResult::Cancel;
}

void QtUi::PostQuit(WindowHandle) {
  quitRequested_ = true;
  Wake();
}

void QtUi::Invoke(const std::function<void()>& function) {
  RunOnGuiThread(function);
}

bool QtUi::RunOnGuiThread(const std::function<void()>& function) {
  if (OnGuiThread()) {
    function();
    return true;
  }
  auto task = std::make_shared<Task>();
  task->function = &function;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return false;
    pending_.push_back(task);
  }
  QMetaObject::invokeMethod(
      this, [this, task] { RunTask(task); }, Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return task->state == TaskState::Done || task->state == TaskState::Dropped; });
  bool ran = task->state == TaskState::Done;
  std::exception_ptr error = task->error;
  lock.unlock();
  if (error) std::rethrow_exception(error);
  return ran;
}

void QtUi::RunTask(const std::shared_ptr<Task>& task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it)
      if (*it == task) {
        pending_.erase(it);
        break;
      }
    if (task->state != TaskState::Pending) return;
    task->state = TaskState::Running;
  }
  std::exception_ptr error;
  ++runningTasks_;
  try {
    (*task->function)();
  } catch (...) {
    error = std::current_exception();
  }
  --runningTasks_;
  std::lock_guard<std::mutex> lock(mutex_);
  task->error = error;
  task->state = TaskState::Done;
  changed_.notify_all();
}

void QtUi::BeginClosing() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (auto& task : pending_)
      if (task->state == TaskState::Pending) task->state = TaskState::Dropped;
    pending_.clear();
    changed_.notify_all();
  }
  CloseDialogs();
}

bool QtUi::IsClosing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closing_;
}

void QtUi::CloseDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) dialog->reject();
}

void QtUi::SetAnswerer(Answerer answerer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answerer_ = std::move(answerer);
}

std::vector<ShownBox> QtUi::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

bool QtUi::WaitForBoxes(size_t count, int milliseconds) const {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (boxes_.size() >= count) return true;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_.size() >= count;
}

}  // namespace veltra
