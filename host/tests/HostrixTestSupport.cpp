#include "host/tests/HostrixTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/CHostrixView.h"

namespace veltra::test {

void EnsureApplication() {
  if (QApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "hostrix_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

std::string StoredText(TerminalStore& store, int count) {
  std::lock_guard<std::mutex> lock(store.Mutex());
  std::string text;
  char buffer[TerminalStore::kLineLength + 1];
  for (int64_t line = store.CurrentLine() - count; line < store.CurrentLine(); ++line) {
    if (!store.CopyLine(line, buffer) || buffer[0] == '\0') continue;
    if (!text.empty()) text += '\n';
    text += buffer;
  }
  return text;
}

int CountProcesses(const std::string& program, int parent) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::error_code linkError;
    if (std::filesystem::read_symlink(entry.path() / "exe", linkError) != program || linkError) continue;
    if (parent > 0) {
      // The fourth field of stat; the name in parentheses may hold blanks.
      std::ifstream stat(entry.path() / "stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      size_t close = text.rfind(')');
      int ppid = 0;
      if (close == std::string::npos || std::sscanf(text.c_str() + close + 1, " %*c %d", &ppid) != 1)
        continue;
      if (ppid != parent) continue;
    }
    ++count;
  }
  return count;
}

HostrixFixture::HostrixFixture() {
  EnsureApplication();
  shared_.CountInstance();
}

HostrixFixture::~HostrixFixture() {
  if (!quit_) Quit();
}

void HostrixFixture::Start(bool engine, bool answerBoxes) {
  ui_ = std::make_unique<QtUi>();
  Ui::Install(ui_.get());
  if (answerBoxes)
    ui_->SetAnswerer([this](const ShownBox& box, MessageResult defaultButton) {
      return answer_ ? answer_(box) : defaultButton;
    });
  doc_ = std::make_unique<CHostrixDoc>(shared_, recent_);
  frame_ = std::make_unique<CMainFrame>(*doc_, recent_, *ui_);
  ui_->SetMainWindow(frame_.get());
  doc_->SetFrame(frame_.get());
  if (engine) {
    std::string fatal;
    ASSERT_TRUE(doc_->LoadEngine(fatal)) << fatal;
    ASSERT_TRUE(doc_->CreateServer(frame_.get(), fatal)) << fatal;
  }
  frame_->resize(640, 400);
  frame_->show();
  frame_->View()->DisplayUpdate();
}

long HostrixFixture::Quit() {
  quit_ = true;
  auto start = std::chrono::steady_clock::now();
  if (frame_) {
    frame_->close();
    QCoreApplication::processEvents();
  }
  if (ui_) ui_->BeginClosing();
  if (doc_) {
    doc_->BeginClose();
    doc_->Shutdown();
    doc_->SetFrame(nullptr);
  }
  long elapsed = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count());
  if (ui_) ui_->SetMainWindow(nullptr);
  frame_.reset();
  doc_.reset();
  Ui::Install(nullptr);
  ui_.reset();
  // Deferred deletions and the quit the close queued, so the next test starts clean.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return elapsed;
}

void HostrixFixture::Open(const std::string& path) {
  shared_.SetApplicationPath(path);
  shared_.SetWorkingDirectory(std::filesystem::current_path().string());
  doc_->OpenApplication();
}

std::string HostrixFixture::Example(const std::string& name) const {
  return TestBinDirectory() + "/examples/" + name + ".app";
}

}  // namespace veltra::test
