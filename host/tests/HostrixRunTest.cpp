// The document with the real engine and the simulated network: runs from
// OpenApplication and the commands, standard input through the line dialog,
// the "Server running" question, Stop at a page end, and quitting while the
// server thread waits in each of the ways it can.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "host/CHostrixView.h"
#include "host/HostrixApp.h"
#include "host/ReconnectDialog.h"
#include "host/StandardInputDialog.h"
#include "host/tests/HostrixTestSupport.h"
#include "platform/settings/Registry.h"
#include "tests/support/ModalScript.h"
#include "veltra/OptionsRecord.h"

namespace veltra::test {
namespace {

class HostrixRunTest : public ::testing::Test, public HostrixFixture {
 protected:
  void SetOption(const char* name, int value) { ASSERT_TRUE(WriteProfileInt(kSettingsSection, name, value)); }
  // Runs action every 20 ms, also inside the event loops of dialogs, until it
  // returns true: the way a test reaches a dialog that the server thread waits on.
  void Repeat(std::function<bool()> action) {
    auto* timer = new QTimer(frame_.get());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
      if (action()) timer->stop();
    });
    timer->start(20);
  }
  bool RunEnded() {
    return WaitUntil([&] { return !doc_->Running() && frame_->PaneText(2).isEmpty(); }, 30000);
  }
  std::string TestApp(const std::string& name) const {
    return TestBinDirectory() + "/testapps/" + name + ".app";
  }
};

TEST_F(HostrixRunTest, OpeningWithAutoRunRunsHelloAndShowsItsGreeting) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("hello"));
  EXPECT_EQ(frame_->windowTitle().toStdString(), "Veltra Server:    " + Example("hello"));
  EXPECT_EQ(frame_->PaneText(2), "Running");
  EXPECT_FALSE(frame_->FileMenu()->isEnabled());
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store()), "Hello from the Veltra DSP network!");
  EXPECT_TRUE(frame_->FileMenu()->isEnabled());
  EXPECT_TRUE(frame_->RunAction()->isEnabled());
  EXPECT_FALSE(frame_->StopAction()->isEnabled());
  ASSERT_FALSE(recent_.Entries().empty());
  EXPECT_EQ(recent_.Entries()[0], Example("hello"));
  // The list is stored at once.
  RecentFileList reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Entries(), recent_.Entries());
  EXPECT_EQ(doc_->Server()->options->ExitOnStop, 0);
}

TEST_F(HostrixRunTest, TerminationIsReportedWhenSayStopIsSet) {
  Start();
  Open(Example("hello"));
  ASSERT_TRUE(ui_->WaitForBoxes(1, 30000));
  auto box = ui_->Boxes().back();
  EXPECT_EQ(box.caption, "Termination");
  EXPECT_EQ(box.text,
            "Your Veltra application has stopped.\n\nTo inhibit this message, clear\n"
            "View/Options/Report Application Termination");
  EXPECT_TRUE(box.owned);
}

TEST_F(HostrixRunTest, TheSheetsCommandLineReachesTheApplication) {
  SetOption("SayStop", 0);
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "CommandLine", "one two"));
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "Command_Line", "stale"));
  Start();
  Open(Example("args"));
  ASSERT_TRUE(RunEnded());
  std::string text = StoredText(doc_->Store());
  EXPECT_NE(text.find("argv[1]=one\nargv[2]=two\nargc=3"), std::string::npos) << text;
}

TEST_F(HostrixRunTest, CommandLineValueFillsInWhenTheSheetHasNone) {
  SetOption("SayStop", 0);
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "Command_Line", "from profile"));
  Start();
  Open(Example("args"));
  ASSERT_TRUE(RunEnded());
  std::string text = StoredText(doc_->Store());
  EXPECT_NE(text.find("argv[1]=from\nargv[2]=profile"), std::string::npos) << text;
}

TEST_F(HostrixRunTest, StandardInputComesFromTheLineDialogAndIsEchoed) {
  SetOption("SayStop", 0);
  Start();
  int step = 0;
  QString title;
  Repeat([&] {
    StandardInputDialog* dialog = frame_->InputDialog();
    if (!dialog || !dialog->isVisible()) return false;
    if (step++ == 0) {
      title = dialog->windowTitle();
      QTest::keyClicks(dialog->LineEdit(), "abc");
      QTest::keyClick(dialog->LineEdit(), Qt::Key_Return);
      return false;
    }
    // The next read: End of File ends the application.
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
      if (button->text() == "End of File") button->click();
    return true;
  });
  Open(Example("echo"));
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(title, "Standard Input");
  // Echoed, then written back by the application.
  EXPECT_EQ(StoredText(doc_->Store()), "abc\nabc\necho: 1 lines");
}

TEST_F(HostrixRunTest, HostSemaphoresReachTheApplicationAndServerRunningAnsweredNoKeepsIt) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store()) == "waiting for host semaphore 3"; }));
  // A second application while this one runs: No keeps the running one.
  answer_ = [](const ShownBox&) { return MessageResult::No; };
  QString title = frame_->windowTitle();
  Open(Example("hello"));
  auto boxes = ui_->Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Server running");
  EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(frame_->windowTitle(), title);
  EXPECT_TRUE(doc_->Running());
  doc_->OnHostSemaphore(2);  // not the one it waits for
  doc_->OnHostSemaphore(3);
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store()), "waiting for host semaphore 3\ngot host semaphore 3");
}

TEST_F(HostrixRunTest, ServerRunningAnsweredYesStopsTheOldRunAndStartsTheNewOne) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store()) == "waiting for host semaphore 3"; }));
  answer_ = [](const ShownBox&) { return MessageResult::Yes; };
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store(), 1) == "waiting for host semaphore 3"; }));
  // The end of the old run must not pass for the end of the new one.
  QThread::msleep(300);
  QCoreApplication::processEvents();
  EXPECT_TRUE(doc_->Running());
  EXPECT_EQ(frame_->PaneText(2), "Running");
  EXPECT_FALSE(frame_->RunAction()->isEnabled());
  doc_->OnHostSemaphore(3);
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store(), 3).find("waiting for host semaphore 3\ngot host semaphore 3"), 0u);
}

TEST_F(HostrixRunTest, ANewApplicationOpenedWhileTheOldOneReadsAnInputLineReplacesIt) {
  SetOption("SayStop", 0);
  Start();
  answer_ = [](const ShownBox&) { return MessageResult::Yes; };
  bool opened = false;
  Repeat([&] {
    if (!frame_->InputDialog() || !frame_->InputDialog()->isVisible()) return false;
    // Forwarded from another start while the line dialog waits.
    Open(Example("semaphores"));
    opened = true;
    return true;
  });
  QElapsedTimer timer;
  timer.start();
  Open(Example("echo"));
  ASSERT_TRUE(WaitUntil([&] { return opened; }));
  ASSERT_TRUE(WaitUntil([&] {
    return StoredText(doc_->Store(), 2).find("waiting for host semaphore 3") != std::string::npos;
  }));
  EXPECT_LT(timer.elapsed(), 8000) << "the open waited for a run that could not end";
  QThread::msleep(300);
  QCoreApplication::processEvents();
  EXPECT_TRUE(doc_->Running());
  EXPECT_EQ(frame_->PaneText(2), "Running");
  doc_->OnHostSemaphore(3);
  ASSERT_TRUE(RunEnded());
}

TEST_F(HostrixRunTest, StopWhileHeldAtAPageEndLetsTheHeldOutputThrough) {
  SetOption("SayStop", 0);
  Start();
  frame_->View();
  doc_->Console().SetPageLength(5);
  doc_->OnPageMode();
  Open(TestApp("endless"));
  ASSERT_TRUE(WaitUntil([&] { return frame_->PaneText(1) == "Paused"; }));
  QThread::msleep(100);
  QCoreApplication::processEvents();
  std::string held = StoredText(doc_->Store(), 10);
  EXPECT_EQ(held, "line 0\nline 1\nline 2\nline 3");
  doc_->OnStop();
  EXPECT_EQ(frame_->PaneText(2), "Stopping");
  ASSERT_TRUE(RunEnded());
  std::string after = StoredText(doc_->Store(), 10);
  EXPECT_EQ(after.rfind(held + "\nline 4", 0), 0u) << after;
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Halted);
  EXPECT_FALSE(doc_->Console().Paused());
}

TEST_F(HostrixRunTest, ClearScreenEmptiesTheTerminal) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("hello"));
  ASSERT_TRUE(RunEnded());
  doc_->OnClearScreen();
  EXPECT_EQ(StoredText(doc_->Store()), "");
}

TEST_F(HostrixRunTest, ApplicationOpensTheFileDialogAndRunsTheChosenFile) {
  SetOption("SayStop", 0);
  Start();
  QString title;
  QStringList filters;
  bool seen = false;
  Repeat([&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (!dialog || !dialog->isVisible()) continue;
      seen = true;
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      // Again at the next tick should the dialog not have taken it yet.
      // Typed into the file name field, as a user would.
      if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
        name->setText(QString::fromStdString(Example("hello")));
      QMetaObject::invokeMethod(dialog, "accept");
      return false;
    }
    return seen;
  });
  frame_->ApplicationAction()->trigger();
  EXPECT_EQ(title, "Select Veltra Application");
  ASSERT_EQ(filters.size(), 2);
  EXPECT_TRUE(filters[0].startsWith("Veltra Applications (.app)"));
  EXPECT_TRUE(filters[1].startsWith("All Files (*.*)"));
  // "Run application when selected from file menu" is on by default.
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store()), "Hello from the Veltra DSP network!");
  EXPECT_EQ(frame_->windowTitle().toStdString(), "Veltra Server:    " + Example("hello"));
}

TEST_F(HostrixRunTest, SelectRefusesWhatCannotBeAnApplication) {
  Start();
  doc_->Select(TestBinDirectory());
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  EXPECT_NE(ui_->Boxes()[0].text.find("it is a directory"), std::string::npos);
  EXPECT_FALSE(doc_->Running());
  EXPECT_TRUE(recent_.Entries().empty());
}

TEST_F(HostrixRunTest, ReconnectDialogCancelLeavesTheServerIdle) {
  SetOption("SayStop", 0);
  Start();
  QString caption;
  QStringList texts;
  WithModal([&] { doc_->OnReconnect(); },
            [&](QDialog* dialog) {
              caption = dialog->windowTitle();
              for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
              for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                texts << button->text();
                // Each choice has its mnemonic; Return takes Reconnect.
                if (button->text() == "&Reconnect") {
                  EXPECT_TRUE(button->isDefault());
                  EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_R));
                }
                if (button->text() == "&Notify") {
                  EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_N));
                }
              }
              QTest::keyClick(dialog, Qt::Key_Escape);
            });
  EXPECT_EQ(caption, "Reconnect to running application");
  for (const char* text : {"&Reconnect", "&Notify", "Reconnect and wait for activity from the application",
                           "Reconnect and reply to the application"})
    EXPECT_TRUE(texts.contains(text)) << text;
  EXPECT_FALSE(doc_->Running());
  EXPECT_TRUE(frame_->PaneText(2).isEmpty());
  EXPECT_TRUE(ui_->Boxes().empty());
}

TEST_F(HostrixRunTest, ReconnectServesTheApplicationAStopLeftRunning) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil(
      [&] { return StoredText(doc_->Store()).find("waiting for host semaphore 3") != std::string::npos; }));
  doc_->OnStop();
  ASSERT_TRUE(RunEnded());
  // Return takes the dialog's default, Reconnect: attached without a reset.
  WithModal([&] { doc_->OnReconnect(); }, [](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
  EXPECT_TRUE(doc_->Running());
  EXPECT_EQ(frame_->PaneText(2), "Running");
  // While connected a second Reconnect is refused.
  doc_->OnReconnect();
  ASSERT_FALSE(ui_->Boxes().empty());
  EXPECT_EQ(ui_->Boxes().back().caption, "Reconnect");
  EXPECT_EQ(ui_->Boxes().back().text, "Server is already connected to a running application");
  QThread::msleep(200);
  doc_->OnHostSemaphore(3);
  ASSERT_TRUE(RunEnded());
  // The application got the semaphore and ran to its end. (Its stream
  // handles are not known to the reconnected run, so its last line is
  // refused by the engine and not shown.)
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Terminated);
}

TEST_F(HostrixRunTest, NotifyServesTheApplicationAStopLeftRunning) {
  SetOption("SayStop", 0);
  Start();
  auto notify = [](QDialog* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
      if (button->text() == "&Notify") QTest::mouseClick(button, Qt::LeftButton);
  };
  // An application a stop left running takes the reply and goes on.
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil(
      [&] { return StoredText(doc_->Store()).find("waiting for host semaphore 3") != std::string::npos; }));
  doc_->OnStop();
  ASSERT_TRUE(RunEnded());
  WithModal([&] { doc_->OnReconnect(); }, notify);
  EXPECT_TRUE(doc_->Running());
  QThread::msleep(200);
  doc_->OnHostSemaphore(3);
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_TRUE(ui_->Boxes().empty());
}

TEST_F(HostrixRunTest, TheReconnectDialogsAnswersCarryTheNotifyFlag) {
  Start(false);
  struct Answer {
    std::function<void(ReconnectDialog&)> press;
    int result;
    int notify;
  };
  const Answer answers[] = {
      {[](ReconnectDialog& d) { QTest::mouseClick(d.NotifyButton(), Qt::LeftButton); }, QDialog::Accepted, 1},
      {[](ReconnectDialog& d) { QTest::mouseClick(d.ReconnectButton(), Qt::LeftButton); }, QDialog::Accepted,
       0},
      {[](ReconnectDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted, 0},
      {[](ReconnectDialog& d) { QTest::mouseClick(d.CancelButton(), Qt::LeftButton); }, QDialog::Rejected, 0},
      {[](ReconnectDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected, 0},
  };
  for (const Answer& answer : answers) {
    ReconnectDialog dialog(frame_.get());
    int result = -1;
    WithModal([&] { result = dialog.exec(); }, [&](QDialog*) { answer.press(dialog); });
    EXPECT_EQ(result, answer.result);
    if (result == QDialog::Accepted) {
      EXPECT_EQ(dialog.NotifyFlag(), answer.notify);
    }
  }
}

// A window manager may shrink a window to its minimum size: the dialog's
// is its whole size, at which every paragraph has the height it needs.
TEST_F(HostrixRunTest, TheReconnectDialogCannotBeShrunkUntilItsTextIsCut) {
  Start(false);
  ReconnectDialog dialog(frame_.get());
  dialog.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(dialog.size(), dialog.minimumSize());
  int wrapped = 0;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (!label->wordWrap()) continue;
    ++wrapped;
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
  }
  EXPECT_EQ(wrapped, 2);
  dialog.close();
}

TEST_F(HostrixRunTest, TheTitleUsesTheInstanceCounterAtTheMomentItIsSet) {
  Start(false);
  doc_->ShowApplicationTitle("");
  EXPECT_EQ(frame_->windowTitle().toStdString(),
            "Veltra Server:    <no Veltra application has been selected>");
  EXPECT_TRUE(recent_.Entries().empty());
  shared_.CountInstance();  // a second instance started meanwhile
  doc_->ShowApplicationTitle("/a/demo.app");
  EXPECT_EQ(frame_->windowTitle().toStdString(), "#2  Veltra Server:/a/demo.app");
}

// Quitting while the server thread waits: the quit returns promptly and no
// application process is left behind.
class QuitTest : public HostrixRunTest {
 protected:
  // Closes the main window once ready() holds, from inside whatever loop runs.
  void CloseWhen(std::function<bool()> ready) {
    Repeat([this, ready] {
      if (!ready()) return false;
      frame_->close();
      closed_ = true;
      return true;
    });
  }
  bool closed_ = false;
  void ExpectCleanQuit(const std::string& application, bool stillRunning = true) {
    if (stillRunning) {
      ASSERT_EQ(CountProcesses(application, getpid()), 1) << "the application should still run";
    }
    long elapsed = Quit();
    EXPECT_LT(elapsed, 10000);
    // Only this process's children: other tests may run the same examples.
    EXPECT_TRUE(WaitUntil([&] { return CountProcesses(application, getpid()) == 0; }, 5000));
  }
};

TEST_F(QuitTest, WhileTheServerThreadWaitsInABox) {
  Start(true, false);  // boxes really show
  CloseWhen([&] { return QApplication::activeModalWidget() != nullptr; });
  // The termination box of hello's run waits for its OK.
  Open(Example("hello"));
  ASSERT_TRUE(WaitUntil([&] { return closed_; }, 30000));
  ASSERT_FALSE(ui_->Boxes().empty());
  EXPECT_EQ(ui_->Boxes().back().caption, "Termination");
  ExpectCleanQuit(Example("hello"), false);
}

TEST_F(QuitTest, WhileTheServerThreadWaitsAtThePauseGate) {
  Start();
  doc_->OnPause();
  Open(TestApp("endless"));
  ASSERT_TRUE(WaitUntil([&] { return frame_->PaneText(1) == "Paused"; }));
  frame_->close();
  ExpectCleanQuit(TestApp("endless"));
}

TEST_F(QuitTest, WhileTheServerThreadWaitsInReadLine) {
  Start();
  CloseWhen([&] { return frame_->InputDialog() && frame_->InputDialog()->isVisible(); });
  Open(Example("echo"));
  ASSERT_TRUE(WaitUntil([&] { return closed_; }, 30000));
  ExpectCleanQuit(Example("echo"));
}

}  // namespace
}  // namespace veltra::test

namespace veltra::test {
namespace {

TEST_F(HostrixRunTest, NewServerInstanceStartsTheInstallationsProgramAndSaysWhyNot) {
  Start(false);
  TempDir installation;
  Registry key;
  ASSERT_TRUE(key.Open(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Orv Veltra"));
  ASSERT_EQ(key.WriteString("Veltra", installation.Path().string()), RegistryStatus::Ok);
  EXPECT_EQ(InstallationDirectory(), installation.Path().string() + "/");
  shared_.Data().mainWindow = 12345;
  StartNewInstance(shared_);
  // The new process must not forward to this one, even when it cannot start.
  EXPECT_EQ(shared_.Data().mainWindow, 0);
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  EXPECT_EQ(ui_->Boxes()[0].caption, "Hostrix");
  EXPECT_EQ(ui_->Boxes()[0].text, "No such file or directory");
  EXPECT_FALSE(ui_->Boxes()[0].owned);
}

}  // namespace
}  // namespace veltra::test
