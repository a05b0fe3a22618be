// What the GUI tests share: a QApplication on the off-screen platform, a
// document with its frame bound to the real engine, and waiting while the
// GUI thread goes on handling events.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>
#include <string>

#include "host/CHostrixDoc.h"
#include "host/CMainFrame.h"
#include "host/QtUi.h"
#include "host/RecentFileList.h"
#include "host/SharedInstanceBlock.h"
#include "platform/settings/Profile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {

// Makes the one QApplication of the test program, off screen.
void EnsureApplication();

// Handles events until the condition holds or the time runs out.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 15000);

// The last count ended lines of the store, oldest first, joined by '\n'.
std::string StoredText(TerminalStore& store, int count = 50);

// Processes running the program file (by its /proc exe link); with a
// parent, only its children.
int CountProcesses(const std::string& program, int parent = 0);

class HostrixFixture {
 public:
  HostrixFixture();
  ~HostrixFixture();

  // Builds document and frame; with engine, binds it and starts the server.
  // With answerBoxes every box is answered with its default (or by answer_).
  void Start(bool engine = true, bool answerBoxes = true);
  // Quits as closing the main window does, then ends the server thread.
  // Returns the milliseconds that took.
  long Quit();

  // An application: copies its path into the shared block and opens it.
  void Open(const std::string& path);
  std::string Example(const std::string& name) const;

  TempDir settings_{true};
  SharedInstanceBlock shared_;
  RecentFileList recent_;
  std::unique_ptr<QtUi> ui_;
  std::unique_ptr<CHostrixDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
  std::function<MessageResult(const ShownBox&)> answer_;
  bool quit_ = false;
};

}  // namespace veltra::test
