// The options sheet, shown through the real options manager over a temporary
// settings store, and driven as a user drives it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThreadPool>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "tests/support/ModalScript.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"
#include "veltra/RequestChannel.h"

extern "C" veltra::OptionsManager* GetOptionsManager();
extern "C" void CloseOptionsManager();

namespace veltra {
namespace {

constexpr const char* kKey = "Software\\Orv\\Veltra\\Server\\Settings";

template <typename T>
T* Control(QDialog* sheet, const char* name) {
  T* widget = sheet->findChild<T*>(name);
  if (!widget) ADD_FAILURE() << "no control " << name;
  return widget;
}
QCheckBox* Box(QDialog* sheet, const char* name) {
  return Control<QCheckBox>(sheet, name);
}
QLineEdit* Edit(QDialog* sheet, const char* name) {
  return Control<QLineEdit>(sheet, name);
}
void Click(QDialog* sheet, const char* name) {
  if (auto* button = Control<QAbstractButton>(sheet, name)) button->click();
}
bool Enabled(QDialog* sheet, const char* name) {
  auto* widget = Control<QWidget>(sheet, name);
  return widget && widget->isEnabled();
}

// The engine's side of "Signal Host Semaphore".
class SemaphoreTarget final : public RequestChannel {
 public:
  int32_t ReadWord() override { return 0; }
  void WriteWord(int32_t) override {}
  uint32_t ReadBytes(void*) override { return 0; }
  void WriteBytes(uint32_t, const void*) override {}
  double ReadDouble() override { return 0; }
  void WriteDouble(double) override {}
  uint32_t ReadUnsigned() override { return 0; }
  void WriteUnsigned(uint32_t) override {}
  void Signal(uint32_t) override {}
  void SignalSemaphore(int n) override { signalled.push_back(n); }
  void Flush() override {}
  int QueryDriverVersion(int) override { return 0; }
  int BeginLinkSync() override { return 0; }
  int EndLinkSync() override { return 0; }
  uint32_t ReadBytesBounded(void*, uint32_t) override { return 0; }
  std::vector<int> signalled;
};

class OptionsSheetTest : public testing::Test {
 protected:
  void SetUp() override { Ui::Install(&ui_); }
  void TearDown() override {
    CloseOptionsManager();
    Ui::Install(nullptr);
  }
  OptionsManager& Manager() { return *GetOptionsManager(); }
  OptionsRecord& Record() { return *Manager().GetOptions(); }
  // Opens the sheet through the manager and runs the script in it.
  void Sheet(const std::function<void(QDialog*)>& script) {
    test::WithModal([this] { Manager().ShowOptionsSheet(); }, script);
  }
  static int StoredInt(const char* name) {
    Registry key(RegistryRoot::CurrentUser, kKey);
    int32_t value = 0xDEAD;
    EXPECT_EQ(key.ReadInt(name, value), RegistryStatus::Ok) << name;
    return static_cast<int>(value);
  }
  static std::string StoredText(const char* name) {
    Registry key(RegistryRoot::CurrentUser, kKey);
    std::string value = "<missing>";
    EXPECT_EQ(key.ReadString(name, value), RegistryStatus::Ok) << name;
    return value;
  }

  test::TempDir config_{true};
  test::TempDir files_;
  RecordingUi ui_;
};

TEST_F(OptionsSheetTest, FillingAppliesTheEnablingRulesInOrderAndClicksApplyThemAgain) {
  OptionsRecord& r = Record();
  r.RootKernel[0] = '\0';
  r.Alone = 1;
  r.StdIn.Log = 0;
  std::strcpy(r.StdIn.Filename, "in.txt");
  r.StdErr.Merge = 1;
  r.StdErr.File = 0;
  bool ran = false;
  Sheet([&](QDialog* sheet) {
    ran = true;
    EXPECT_EQ(sheet->windowTitle(), "Veltra Server Options");
    auto* tabs = Control<QTabWidget>(sheet, "tabs");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Standard I/O");
    EXPECT_EQ(tabs->tabText(2), "Monitoring");
    EXPECT_EQ(tabs->tabText(3), "Advanced");

    // As filled: an empty kernel shows the default name, greyed without C4x.
    EXPECT_EQ(Edit(sheet, "rootKernel")->text(), "TIM40.KRN");
    EXPECT_FALSE(Enabled(sheet, "rootKernel"));
    for (const char* name : {"debug", "commandLine", "sayStop"}) EXPECT_FALSE(Enabled(sheet, name)) << name;
    EXPECT_TRUE(Control<QRadioButton>(sheet, "stdinFile")->isChecked());
    EXPECT_FALSE(Control<QRadioButton>(sheet, "stdinKeyboard")->isChecked());
    EXPECT_TRUE(Enabled(sheet, "stdinName"));
    EXPECT_TRUE(Enabled(sheet, "stdinBrowse"));
    for (const char* name : {"stderrScreen", "stderrFile", "stderrName", "stderrBrowse", "stderrAppend"})
      EXPECT_FALSE(Enabled(sheet, name)) << name;
    for (const char* name : {"stdoutName", "stdoutBrowse", "stdoutAppend"})
      EXPECT_FALSE(Enabled(sheet, name)) << name;

    Click(sheet, "c4x");
    EXPECT_TRUE(Enabled(sheet, "rootKernel"));
    Click(sheet, "c4x");
    EXPECT_FALSE(Enabled(sheet, "rootKernel"));

    Click(sheet, "alone");
    for (const char* name : {"debug", "commandLine", "sayStop"}) EXPECT_TRUE(Enabled(sheet, name)) << name;

    Click(sheet, "stdinKeyboard");
    EXPECT_FALSE(Enabled(sheet, "stdinName"));
    EXPECT_FALSE(Enabled(sheet, "stdinBrowse"));
    Click(sheet, "stdinFile");
    EXPECT_TRUE(Enabled(sheet, "stdinName"));
    EXPECT_TRUE(Enabled(sheet, "stdinBrowse"));
    EXPECT_EQ(sheet->focusWidget(), Edit(sheet, "stdinName"));

    Click(sheet, "stdoutFile");
    for (const char* name : {"stdoutName", "stdoutBrowse", "stdoutAppend"})
      EXPECT_TRUE(Enabled(sheet, name)) << name;
    EXPECT_EQ(sheet->focusWidget(), Edit(sheet, "stdoutName"));
    Click(sheet, "stdoutFile");
    for (const char* name : {"stdoutName", "stdoutBrowse", "stdoutAppend"})
      EXPECT_FALSE(Enabled(sheet, name)) << name;

    // Merge clear: stderr has its own route again.
    Click(sheet, "stderrMerge");
    EXPECT_TRUE(Enabled(sheet, "stderrScreen"));
    EXPECT_TRUE(Enabled(sheet, "stderrFile"));
    EXPECT_FALSE(Enabled(sheet, "stderrName"));
    Click(sheet, "stderrFile");
    for (const char* name : {"stderrName", "stderrBrowse", "stderrAppend"})
      EXPECT_TRUE(Enabled(sheet, name)) << name;
    EXPECT_EQ(sheet->focusWidget(), Edit(sheet, "stderrName"));
    Click(sheet, "stderrMerge");
    for (const char* name : {"stderrScreen", "stderrFile", "stderrName", "stderrBrowse"})
      EXPECT_FALSE(Enabled(sheet, name)) << name;

    // "Screen" changes nothing.
    Click(sheet, "stdoutScreen");
    Click(sheet, "stderrScreen");
    EXPECT_FALSE(Enabled(sheet, "stdoutName"));
    EXPECT_FALSE(Enabled(sheet, "stderrName"));
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Record().Alone, 1) << "Cancel keeps the record";
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(OptionsSheetTest, OkRepairsRedirectionsThatNameNoFile) {
  Sheet([&](QDialog* sheet) {
    Click(sheet, "stdinFile");
    Edit(sheet, "stdinName")->clear();
    Click(sheet, "stdoutFile");
    Edit(sheet, "stdoutName")->clear();
    Box(sheet, "stderrScreen")->setChecked(false);
    Box(sheet, "stderrFile")->setChecked(false);
    Click(sheet, "ok");
  });
  const OptionsRecord& r = Record();
  EXPECT_EQ(r.StdIn.Log, 1) << "no input file: the keyboard";
  EXPECT_EQ(r.StdOut.File, 0);
  EXPECT_EQ(r.StdOut.Log, 1);
  EXPECT_EQ(r.StdErr.File, 0);
  EXPECT_EQ(r.StdErr.Log, 1) << "neither screen nor file: the screen";

  // Named files are kept as they are, and a stream may go to its file alone.
  std::string in = files_.File("in.txt");
  Sheet([&](QDialog* sheet) {
    Click(sheet, "stdinFile");
    Edit(sheet, "stdinName")->setText(QString::fromStdString(in));
    Click(sheet, "stdoutFile");
    Edit(sheet, "stdoutName")->setText("out.log");
    Box(sheet, "stdoutScreen")->setChecked(false);
    Click(sheet, "stderrMerge");
    Click(sheet, "ok");
  });
  EXPECT_EQ(r.StdIn.Log, 0);
  EXPECT_EQ(r.StdIn.Filename, in);
  EXPECT_EQ(r.StdOut.File, 1);
  EXPECT_EQ(r.StdOut.Log, 0);
  EXPECT_STREQ(r.StdOut.Filename, "out.log");
  EXPECT_EQ(r.StdErr.Merge, 1);
  EXPECT_EQ(StoredInt("StdOut_Log"), 0);
  EXPECT_EQ(StoredText("StdIn_Filename"), in);
}

TEST_F(OptionsSheetTest, ResetDelaysNegativeLongAndBizarre) {
  WriteProfileInt(kSettingsSection, "ResetDelay", -5);
  EXPECT_EQ(Record().ResetDelay, -5);
  Sheet([&](QDialog* sheet) {
    EXPECT_EQ(Edit(sheet, "resetDelay")->text(), "-5");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().ResetDelay, 0);
  EXPECT_EQ(StoredInt("ResetDelay"), 0);

  Sheet([&](QDialog* sheet) {
    Edit(sheet, "resetDelay")->setText("60000");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().ResetDelay, 60000);
  EXPECT_TRUE(ui_.Boxes().empty()) << "a minute is no question";

  // "No" (the preselected answer) keeps the delay the user had.
  Sheet([&](QDialog* sheet) {
    Edit(sheet, "resetDelay")->setText("60001");
    Box(sheet, "monUser")->setChecked(true);
    Click(sheet, "ok");
    EXPECT_FALSE(sheet->isVisible()) << "the sheet closes whichever the answer";
  });
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Do you really want a delay longer than 1 minute?");
  EXPECT_EQ(boxes[0].caption, "Bizarre reset delay");
  EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(Record().ResetDelay, 60000);
  EXPECT_EQ(StoredInt("ResetDelay"), 60000);
  EXPECT_EQ(Record().MonUser, 1) << "the rest of the sheet is taken";

  ui_.QueueAnswer(MessageResult::Yes);
  Sheet([&](QDialog* sheet) {
    Edit(sheet, "resetDelay")->setText("60001");
    Click(sheet, "ok");
  });
  EXPECT_EQ(ui_.Boxes().size(), 2u);
  EXPECT_EQ(Record().ResetDelay, 60001);
  EXPECT_EQ(StoredInt("ResetDelay"), 60001);

  // The edit holds nine digits at most.
  ui_.QueueAnswer(MessageResult::Yes);
  Sheet([&](QDialog* sheet) {
    Edit(sheet, "resetDelay")->setText("12345678901234");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().ResetDelay, 123456789);

  // A longer delay from the store survives an OK that does not touch it.
  WriteProfileInt(kSettingsSection, "ResetDelay", 1234567890);
  CloseOptionsManager();
  ui_.QueueAnswer(MessageResult::Yes);
  Sheet([&](QDialog* sheet) {
    EXPECT_EQ(Edit(sheet, "resetDelay")->text(), "1234567890");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().ResetDelay, 1234567890);
}

TEST_F(OptionsSheetTest, SemaphoreNumberIsClampedAndSignalledOnlyWithAServer) {
  // No server: nothing to signal, nothing shown.
  Sheet([&](QDialog* sheet) {
    Edit(sheet, "semaphoreNumber")->setText("7");
    Click(sheet, "signalSemaphore");
    EXPECT_EQ(Edit(sheet, "semaphoreNumber")->text(), "7");
  });
  EXPECT_TRUE(ui_.Boxes().empty());

  SemaphoreTarget target;
  Manager().SetSemaphoreTarget(&target);
  Sheet([&](QDialog* sheet) {
    Edit(sheet, "semaphoreNumber")->setText("7");
    Click(sheet, "signalSemaphore");
    Edit(sheet, "semaphoreNumber")->setText("-");
    Click(sheet, "signalSemaphore");
    EXPECT_EQ(Edit(sheet, "semaphoreNumber")->text(), "0");
    Edit(sheet, "semaphoreNumber")->setText("x");
    Click(sheet, "signalSemaphore");
  });
  EXPECT_EQ(target.signalled, (std::vector<int>{7, 0, 0}));
  EXPECT_EQ(Record().SemaphoreNumber, 0) << "the button leaves the record alone";

  Sheet([&](QDialog* sheet) {
    Edit(sheet, "semaphoreNumber")->setText("4");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().SemaphoreNumber, 4);
  Sheet([&](QDialog* sheet) {
    EXPECT_EQ(Edit(sheet, "semaphoreNumber")->text(), "4");
    Edit(sheet, "semaphoreNumber")->setText("+");
    Click(sheet, "ok");
  });
  EXPECT_EQ(Record().SemaphoreNumber, 0);
  EXPECT_EQ(target.signalled.size(), 3u) << "OK signals nothing";
  Manager().SetSemaphoreTarget(nullptr);
}

TEST_F(OptionsSheetTest, ResetToDefaultsAsksAndCancelDoesNotUndoIt) {
  OptionsRecord& r = Record();
  r.MonGeneral = 1;
  r.C4x = 1;
  r.ResetDelay = 250;
  std::strcpy(r.CommandLine, "-v 3");
  Manager().SaveOptions();

  Sheet([&](QDialog* sheet) {
    Click(sheet, "resetDefaults");  // answered with the preselected No
    EXPECT_TRUE(Box(sheet, "monGeneral")->isChecked());
    ui_.QueueAnswer(MessageResult::Yes);
    Click(sheet, "resetDefaults");
    EXPECT_FALSE(Box(sheet, "monGeneral")->isChecked());
    EXPECT_FALSE(Box(sheet, "c4x")->isChecked());
    EXPECT_FALSE(Enabled(sheet, "rootKernel"));
    EXPECT_EQ(Edit(sheet, "resetDelay")->text(), "0");
    EXPECT_EQ(Edit(sheet, "commandLine")->text(), "");
    Click(sheet, "cancel");
  });
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Do you want to reset all your options to their default values?");
  EXPECT_EQ(boxes[0].caption, "Reset Options");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(r.MonGeneral, 0);
  EXPECT_EQ(r.C4x, 0);
  EXPECT_EQ(r.ResetDelay, 0);
  EXPECT_STREQ(r.CommandLine, "");
  EXPECT_EQ(StoredInt("MonGeneral"), 0);
  EXPECT_EQ(StoredText("CommandLine"), "");
}

TEST_F(OptionsSheetTest, TheTabShownLastIsShownAtTheNextOpening) {
  Sheet([&](QDialog* sheet) {
    auto* tabs = Control<QTabWidget>(sheet, "tabs");
    ASSERT_NE(tabs, nullptr);
    tabs->setCurrentIndex(2);
    EXPECT_EQ(sheet->focusWidget(), Box(sheet, "monProt"));
  });
  CloseOptionsManager();  // the tab is kept for the process, not the manager
  Sheet([&](QDialog* sheet) {
    auto* tabs = Control<QTabWidget>(sheet, "tabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentIndex(), 2);
    tabs->setCurrentIndex(3);
    EXPECT_EQ(sheet->focusWidget(), Edit(sheet, "resetDelay"));
    Click(sheet, "ok");
  });
  Sheet([&](QDialog* sheet) {
    EXPECT_EQ(Control<QTabWidget>(sheet, "tabs")->currentIndex(), 3);
    Control<QTabWidget>(sheet, "tabs")->setCurrentIndex(0);
    EXPECT_EQ(sheet->focusWidget(), Edit(sheet, "commandLine"));
  });
}

TEST_F(OptionsSheetTest, OkSavesEveryControlAndCancelNothing) {
  std::string root = files_.Path().string();
  // Cancel: nothing is written, however much was changed.
  Sheet([&](QDialog* sheet) {
    Box(sheet, "debug")->setChecked(true);
    Edit(sheet, "commandLine")->setText("changed");
    Click(sheet, "cancel");
  });
  EXPECT_EQ(Record().Debug, 0);
  Registry key(RegistryRoot::CurrentUser, kKey);
  std::string unset;
  EXPECT_NE(key.ReadString("CommandLine", unset), RegistryStatus::Ok);

  Sheet([&](QDialog* sheet) {
    Edit(sheet, "commandLine")->setText(QString(300, 'a'));  // held at 254 by the edit
    for (const char* name :
         {"debug", "sayStop", "clearOnStart", "runOnSelect", "autoRun", "c4x", "monGeneral", "monLink",
          "monProt", "monUser", "inhibitReset", "multipleInst", "allowHostCommands"})
      Click(sheet, name);
    Edit(sheet, "rootKernel")->setText("C40.KRN");
    Click(sheet, "stdinFile");
    Edit(sheet, "stdinName")->setText("in.txt");
    Click(sheet, "stdoutFile");
    Edit(sheet, "stdoutName")->setText("out.log");
    Click(sheet, "stdoutAppend");
    Click(sheet, "stderrFile");
    Edit(sheet, "stderrName")->setText("err.log");
    Click(sheet, "stderrAppend");
    Click(sheet, "stderrScreen");
    Edit(sheet, "resetDelay")->setText("1500");
    Edit(sheet, "fileRoot")->setText(QString::fromStdString(root));
    Click(sheet, "ok");
  });
  CloseOptionsManager();  // what a new process would load
  const OptionsRecord& r = Record();
  EXPECT_EQ(std::string(r.CommandLine), std::string(254, 'a'));
  EXPECT_EQ(StoredText("CommandLine"), std::string(254, 'a'));
  EXPECT_EQ(StoredInt("Debug"), 1);
  EXPECT_EQ(StoredInt("SayStop"), 0);
  EXPECT_EQ(StoredInt("ClearOnStart"), 0);
  EXPECT_EQ(StoredInt("RunOnSelect"), 0);
  EXPECT_EQ(StoredInt("AutoRun"), 0);
  EXPECT_EQ(StoredInt("C4x"), 1);
  EXPECT_EQ(StoredText("RootKernel"), "C40.KRN");
  EXPECT_EQ(StoredInt("MonGeneral"), 1);
  EXPECT_EQ(StoredInt("MonLink"), 1);
  EXPECT_EQ(StoredInt("MonProt"), 1);
  EXPECT_EQ(StoredInt("MonUser"), 1);
  EXPECT_EQ(StoredInt("InhibitReset"), 1);
  EXPECT_EQ(StoredInt("MultipleInst"), 1);
  EXPECT_EQ(StoredInt("ResetDelay"), 1500);
  EXPECT_EQ(StoredInt("StdIn_Log"), 0);
  EXPECT_EQ(StoredText("StdIn_Filename"), "in.txt");
  EXPECT_EQ(StoredInt("StdOut_Log"), 1);
  EXPECT_EQ(StoredInt("StdOut_File"), 1);
  EXPECT_EQ(StoredInt("StdOut_Append"), 1);
  EXPECT_EQ(StoredText("StdOut_Filename"), "out.log");
  EXPECT_EQ(StoredInt("StdErr_Log"), 0);
  EXPECT_EQ(StoredInt("StdErr_File"), 1);
  EXPECT_EQ(StoredInt("StdErr_Append"), 1);
  EXPECT_EQ(StoredInt("Stderr_Merge"), 0);
  EXPECT_EQ(StoredText("StdErr_Filename"), "err.log");
  EXPECT_EQ(StoredText("FileRoot"), root);
  EXPECT_EQ(StoredInt("AllowHostCommands"), 0);
  EXPECT_EQ(r.AllowHostCommands, 0);
  EXPECT_EQ(r.FileRoot, root);
  EXPECT_EQ(r.StdErr.Append, 1);
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(OptionsSheetTest, FileButtonsOpenTheirDialogsAndTakeThePathChosen) {
  std::string input = files_.File("data.txt");
  std::ofstream(input) << "1 2 3\n";
  Record().StdIn.Log = 0;
  Record().StdOut.File = 1;
  Sheet([&](QDialog* sheet) {
    test::ThenModal(sheet, [&](QDialog* dialog) {
      auto* files = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(files, nullptr);
      EXPECT_EQ(files->windowTitle(), "Data file for stdin");
      EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptOpen);
      EXPECT_EQ(files->fileMode(), QFileDialog::ExistingFile);
      EXPECT_EQ(files->defaultSuffix(), "txt");
      EXPECT_EQ(files->nameFilters().front(), "text input files (.txt) (*.txt)");
      files->selectFile(QString::fromStdString(input));
      QMetaObject::invokeMethod(files, "accept");
    });
    Click(sheet, "stdinBrowse");
    EXPECT_EQ(Edit(sheet, "stdinName")->text().toStdString(), input);

    test::ThenModal(sheet, [&](QDialog* dialog) {
      auto* files = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(files, nullptr);
      EXPECT_EQ(files->windowTitle(), "Log file for stdout");
      EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
      EXPECT_EQ(files->defaultSuffix(), "log");
      files->selectFile(QString::fromStdString(files_.File("run")));
      QMetaObject::invokeMethod(files, "accept");
    });
    Click(sheet, "stdoutBrowse");
    EXPECT_EQ(Edit(sheet, "stdoutName")->text().toStdString(), files_.File("run.log"));

    // Cancelled: the edit keeps its text.
    test::ThenModal(sheet, [&](QDialog* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Log file for stderr");
      dialog->reject();
    });
    Click(sheet, "stderrFile");
    Edit(sheet, "stderrName")->setText("keep.log");
    Click(sheet, "stderrBrowse");
    EXPECT_EQ(Edit(sheet, "stderrName")->text(), "keep.log");
  });
  // The file dialogs look at the disk on Qt's worker threads: let them finish.
  QThreadPool::globalInstance()->waitForDone();
}

TEST_F(OptionsSheetTest, Screenshots) {
  const char* dir = std::getenv("VELTRA_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "VELTRA_SCREENSHOT_DIR names where the pictures go";
  Sheet([&](QDialog* sheet) {
    auto* tabs = Control<QTabWidget>(sheet, "tabs");
    for (int index = 0; index < tabs->count(); ++index) {
      tabs->setCurrentIndex(index);
      QApplication::processEvents();
      EXPECT_TRUE(sheet->grab().save(QString("%1/options-%2.png").arg(dir).arg(index)));
    }
  });
}

// "Signal Host Semaphore" reaching an application that waits for it, through
// a real server on the simulated network.
TEST(OptionsSheetServerTest, SignalHostSemaphoreReachesTheRunningApplication) {
  test::TempDir config(true);
  RecordingUi ui;
  Ui::Install(&ui);
  test::RecordingHost host;
  DynamicLibrary engine;
  ASSERT_TRUE(engine.Load("Orvcore.dll")) << engine.Error();
  auto getServer = engine.Function<GetOrvServerFunction>("GetOrvServer");
  ASSERT_NE(getServer, nullptr);
  engine.Detach();
  OrvServer* server = getServer(nullptr);
  ASSERT_NE(server, nullptr);
  server->options->SayStop = 0;
  server->Start(&host);
  Link* link = server->linkManager->CurrentLink();
  ASSERT_NE(link, nullptr);
  server->SetLink(link);
  server->SetApplication((DynamicLibrary::ProgramDirectory() + "examples/semaphores.app").c_str());
  server->SetCommandLine("7");
  server->ResetBoards(false);
  server->Run();
  for (int waited = 0; waited < 10000 && host.Out().find("waiting") == std::string::npos; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(host.Out(), "waiting for host semaphore 7\n");

  test::WithModal([&] { server->optionsManager->ShowOptionsSheet(); },
                  [&](QDialog* sheet) {
                    Edit(sheet, "semaphoreNumber")->setText("7");
                    Click(sheet, "signalSemaphore");
                  });
  EXPECT_TRUE(host.WaitForRuns(1, 10000));
  EXPECT_EQ(host.Out(), "waiting for host semaphore 7\ngot host semaphore 7\n");
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Terminated);
  server->Halt();
  link->Reset();
  server->Shutdown();
  delete server;
  Ui::Install(nullptr);
}

}  // namespace
}  // namespace veltra
