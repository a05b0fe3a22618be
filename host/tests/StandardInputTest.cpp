// The Standard input dialog: each way of answering a ReadLine, the count and
// buffer it leaves, the echo into the terminal and its stored setting, the
// dialog's stored place, and the echo example reading typed lines through it
// with the real engine.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "host/CHostrixView.h"
#include "host/StandardInputDialog.h"
#include "host/tests/HostrixTestSupport.h"
#include "veltra/OrvServer.h"

namespace veltra::test {
namespace {

using Script = std::function<void(StandardInputDialog*)>;

struct Read {
  int count = -99;
  std::string buffer;
};

class StandardInputTest : public ::testing::Test, public HostrixFixture {
 protected:
  // Runs the scripts, one for each dialog that opens from now on, inside the
  // dialog's own loop. A dialog a script leaves open ends after a while as End
  // of File, so a failed expectation never hangs the test.
  void Answer(std::vector<Script> scripts) {
    scripts_ = std::move(scripts);
    answered_ = 0;
    auto* timer = new QTimer(frame_.get());
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer] {
      StandardInputDialog* dialog = frame_->InputDialog();
      if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool()) return;
      dialog->setProperty("answered", true);
      QTimer::singleShot(5000, dialog, [dialog] { dialog->End(StandardInputResult::EndOfFile); });
      if (answered_ < scripts_.size()) scripts_[answered_++](dialog);
      if (answered_ == scripts_.size()) timer->stop();
    });
    timer->start(10);
  }
  // Calls ReadLine as the server thread does, from a thread of its own, with
  // script answering the dialog.
  Read ReadLine(int size, const Script& script) {
    Answer({script});
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
    std::atomic<bool> done{false};
    Read read;
    std::thread reader([&] {
      read.count = doc_->ReadLine(buffer.data(), size);
      done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 20000));
    reader.join();
    read.buffer.assign(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(size)));
    return read;
  }
  static void Type(StandardInputDialog* dialog, const char* text) {
    QTest::keyClicks(dialog->LineEdit(), text);
  }
  static void Return(QWidget* widget) { QTest::keyClick(widget, Qt::Key_Return); }
  bool RunEnded() {
    return WaitUntil([&] { return !doc_->Running() && frame_->PaneText(2).isEmpty(); }, 30000);
  }

  std::vector<Script> scripts_;
  size_t answered_ = 0;
};

TEST_F(StandardInputTest, ReturnInTheLineGivesTheLineAndItsNewlineAndEchoesIt) {
  Start(false);
  QString title;
  bool echoChecked = false;
  Read read = ReadLine(64, [&](StandardInputDialog* dialog) {
    title = dialog->windowTitle();
    echoChecked = dialog->EchoBox()->isChecked();
    Type(dialog, "abc");
    Return(dialog->LineEdit());
  });
  EXPECT_EQ(title, "Standard Input");
  EXPECT_TRUE(echoChecked);
  EXPECT_EQ(read.count, 4);
  EXPECT_EQ(read.buffer, "abc\n");
  EXPECT_EQ(StoredText(doc_->Store()), "abc");
  EXPECT_EQ(frame_->InputDialog(), nullptr);
}

TEST_F(StandardInputTest, ReturnInAnotherWindowOfTheProgramAndTheEnterButtonEnterTheLine) {
  Start(false);
  Read fromView = ReadLine(64, [&](StandardInputDialog* dialog) {
    Type(dialog, "xy");
    Return(frame_->View());
  });
  EXPECT_EQ(fromView.count, 3);
  EXPECT_EQ(fromView.buffer, "xy\n");
  Read fromButton = ReadLine(64, [](StandardInputDialog* dialog) {
    Type(dialog, "hello there");
    QTest::mouseClick(dialog->EnterButton(), Qt::LeftButton);
  });
  EXPECT_EQ(fromButton.count, 12);
  EXPECT_EQ(fromButton.buffer, "hello there\n");
  // A line longer than the caller's buffer is cut to fit with its newline.
  Read cut = ReadLine(5, [](StandardInputDialog* dialog) {
    Type(dialog, "abcdefgh");
    Return(dialog->LineEdit());
  });
  EXPECT_EQ(cut.count, 4);
  EXPECT_EQ(cut.buffer, "abc\n");
}

TEST_F(StandardInputTest, CtrlZGoesByTheCtrlKeyDownAndUpNotByTheModifiers) {
  Start(false);
  Read ctrlZ = ReadLine(64, [](StandardInputDialog* dialog) {
    Type(dialog, "ignored");
    QTest::keyPress(dialog->LineEdit(), Qt::Key_Control);
    QTest::keyClick(dialog->LineEdit(), Qt::Key_Z, Qt::ControlModifier);
  });
  EXPECT_EQ(ctrlZ.count, 0);
  EXPECT_EQ(ctrlZ.buffer, "^Z\n");
  EXPECT_EQ(StoredText(doc_->Store()), "^Z");

  // Ctrl pressed and released before the Z: a plain Z typed into the line.
  // So too when the program lost the keyboard while Ctrl was down.
  bool openAfterZ = false;
  QString typed;
  Read plain = ReadLine(64, [&](StandardInputDialog* dialog) {
    QTest::keyPress(dialog->LineEdit(), Qt::Key_Control);
    QTest::keyRelease(dialog->LineEdit(), Qt::Key_Control);
    QTest::keyClick(dialog->LineEdit(), Qt::Key_Z);
    QTest::keyPress(dialog->LineEdit(), Qt::Key_Control);
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    EXPECT_FALSE(dialog->CtrlDown());
    QTest::keyClick(dialog->LineEdit(), Qt::Key_Z);
    openAfterZ = dialog->isVisible();
    typed = dialog->LineEdit()->text();
    Return(dialog->LineEdit());
  });
  EXPECT_TRUE(openAfterZ);
  EXPECT_EQ(typed, "zz");
  EXPECT_EQ(plain.count, 3);
  EXPECT_EQ(plain.buffer, "zz\n");
}

TEST_F(StandardInputTest, EndOfFileAndClosingByTheFrameGiveNothingAndEchoNothing) {
  Start(false);
  Read endOfFile = ReadLine(64, [](StandardInputDialog* dialog) {
    Type(dialog, "lost");
    QTest::mouseClick(dialog->EndOfFileButton(), Qt::LeftButton);
  });
  EXPECT_EQ(endOfFile.count, 0);
  EXPECT_EQ(endOfFile.buffer, "");
  // Escape and Tab do nothing here; the window's close button is End of File.
  bool openAfterKeys = false;
  bool lineKeptFocus = false;
  Read closed = ReadLine(64, [&](StandardInputDialog* dialog) {
    Type(dialog, "lost too");
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTest::keyClick(dialog->LineEdit(), Qt::Key_Escape);
    QTest::keyClick(dialog->LineEdit(), Qt::Key_Tab);
    openAfterKeys = dialog->isVisible();
    lineKeptFocus = dialog->focusWidget() == dialog->LineEdit();
    dialog->close();
  });
  EXPECT_TRUE(openAfterKeys);
  EXPECT_TRUE(lineKeptFocus);
  EXPECT_EQ(closed.count, 0);
  EXPECT_EQ(closed.buffer, "");
  EXPECT_EQ(StoredText(doc_->Store()), "");
}

TEST_F(StandardInputTest, TheEchoCheckBoxIsStoredAndDecidesTheEcho) {
  Start(false);
  ASSERT_EQ(GetProfileInt(kSettingsSection, "Echoing", 1), 1);
  Read quiet = ReadLine(64, [](StandardInputDialog* dialog) {
    QTest::mouseClick(dialog->EchoBox(), Qt::LeftButton);
    Type(dialog, "unseen");
    Return(dialog->LineEdit());
  });
  EXPECT_EQ(quiet.buffer, "unseen\n");
  EXPECT_EQ(StoredText(doc_->Store()), "");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "Echoing", 1), 0);
  EXPECT_FALSE(doc_->Echo());

  bool startedUnchecked = false;
  ReadLine(64, [&](StandardInputDialog* dialog) {
    startedUnchecked = !dialog->EchoBox()->isChecked();
    QTest::mouseClick(dialog->EchoBox(), Qt::LeftButton);
    Type(dialog, "seen");
    Return(dialog->LineEdit());
  });
  EXPECT_TRUE(startedUnchecked);
  EXPECT_EQ(StoredText(doc_->Store()), "seen");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "Echoing", 0), 1);
}

TEST_F(StandardInputTest, AStoredPlaceOffTheWorkAreaIsCorrectedAndTheLastPlaceIsStored) {
  Start(false);
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "StdinT", 30));
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "StdinL", -40));
  QPoint shown;
  int storedWhileOpen = -1;
  ReadLine(64, [&](StandardInputDialog* dialog) {
    shown = dialog->pos();
    storedWhileOpen = GetProfileInt(kSettingsSection, "StdinL", -1);
    dialog->move(50, 60);
    Return(dialog->LineEdit());
  });
  EXPECT_EQ(shown, QPoint(0, 30));
  EXPECT_EQ(storedWhileOpen, 0);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "StdinT", -1), 60);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "StdinL", -1), 50);

  // Beyond the bottom right: the dialog's edges go onto the work area's.
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "StdinT", 100000));
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "StdinL", 100000));
  QRect placed;
  QRect area;
  ReadLine(64, [&](StandardInputDialog* dialog) {
    placed = dialog->frameGeometry();
    area = dialog->screen()->availableGeometry();
    Return(dialog->LineEdit());
  });
  EXPECT_EQ(placed.bottom(), area.bottom());
  EXPECT_EQ(placed.right(), area.right());
}

TEST_F(StandardInputTest, TheEchoExampleReadsTypedLinesThroughTheDialog) {
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "SayStop", 0));
  Start();
  Answer({[](StandardInputDialog* dialog) {
            Type(dialog, "one");
            Return(dialog->LineEdit());
          },
          [](StandardInputDialog* dialog) {
            Type(dialog, "two");
            QTest::mouseClick(dialog->EnterButton(), Qt::LeftButton);
          },
          [this](StandardInputDialog* dialog) {
            Type(dialog, "three");
            Return(frame_->View());
          },
          [](StandardInputDialog* dialog) {
            QTest::keyPress(dialog->LineEdit(), Qt::Key_Control);
            QTest::keyClick(dialog->LineEdit(), Qt::Key_Z, Qt::ControlModifier);
          }});
  Open(Example("echo"));
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(answered_, 4u);
  EXPECT_EQ(StoredText(doc_->Store()), "one\none\ntwo\ntwo\nthree\nthree\n^Z\necho: 3 lines");
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Terminated);
}

TEST_F(StandardInputTest, EndOfFileEndsTheEchoExampleAndTerminateApplicationHaltsIt) {
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "SayStop", 0));
  Start();
  Answer({[](StandardInputDialog* dialog) { QTest::mouseClick(dialog->EndOfFileButton(), Qt::LeftButton); }});
  Open(Example("echo"));
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store()), "echo: 0 lines");
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Terminated);

  doc_->OnClearScreen();
  Answer({[](StandardInputDialog* dialog) {
    Type(dialog, "never read");
    QTest::mouseClick(dialog->TerminateButton(), Qt::LeftButton);
  }});
  Open(Example("echo"));
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(answered_, 1u);
  EXPECT_EQ(StoredText(doc_->Store()).find("never read"), std::string::npos);
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Halted);
}

TEST_F(StandardInputTest, StopFromTheMainWindowWorksWhileTheDialogWaits) {
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "SayStop", 0));
  Start();
  bool stopEnabled = false;
  Answer({[&](StandardInputDialog* dialog) {
    Type(dialog, "typed, not entered");
    stopEnabled = frame_->StopAction()->isEnabled();
    frame_->StopAction()->trigger();
  }});
  Open(Example("echo"));
  ASSERT_TRUE(RunEnded());
  EXPECT_TRUE(stopEnabled);
  EXPECT_EQ(answered_, 1u);
  EXPECT_EQ(frame_->InputDialog(), nullptr);
  EXPECT_EQ(StoredText(doc_->Store()).find("typed"), std::string::npos);
  EXPECT_EQ(doc_->Server()->LastRunOutcome(), RunOutcome::Halted);
}

}  // namespace
}  // namespace veltra::test
