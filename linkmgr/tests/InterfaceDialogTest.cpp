// "Veltra hardware interfaces", shown through the real link manager with the
// test link libraries and a temporary settings store, driven as a user drives it.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "platform/settings/Profile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ModalScript.h"
#include "tests/support/TempDir.h"
#include "veltra/LinkManager.h"

extern "C" veltra::LinkManager* GetLinkManager();

namespace veltra {
namespace {

namespace fs = std::filesystem;

int ownerWindow;
const WindowHandle kOwner = reinterpret_cast<WindowHandle>(&ownerWindow);
const char* const kNames[] = {"Dogwood", "Cedar", "Birch", "Alder", "Extra", "NoInfo", "NullInfo"};

QListWidget* Interfaces(QDialog* dialog) {
  return dialog->findChild<QListWidget*>("interfaces");
}
QTreeWidget* Boards(QDialog* dialog) {
  return dialog->findChild<QTreeWidget*>("boards");
}
QString BoardsLabel(QDialog* dialog) {
  return dialog->findChild<QLabel*>("boardsLabel")->text();
}
void Click(QDialog* dialog, const char* name) {
  dialog->findChild<QPushButton*>(name)->click();
}
std::vector<std::string> Lines(QDialog* dialog) {
  std::vector<std::string> lines;
  for (int row = 0; row < Interfaces(dialog)->count(); ++row)
    lines.push_back(Interfaces(dialog)->item(row)->text().toStdString());
  return lines;
}
// Rows of the board list as "name|id".
std::vector<std::string> Rows(QDialog* dialog) {
  std::vector<std::string> rows;
  QTreeWidget* boards = Boards(dialog);
  for (int row = 0; row < boards->topLevelItemCount(); ++row)
    rows.push_back(
        (boards->topLevelItem(row)->text(0) + "|" + boards->topLevelItem(row)->text(1)).toStdString());
  return rows;
}
void ChooseLine(QDialog* dialog, const QString& text) {
  auto found = Interfaces(dialog)->findItems(text, Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1) << text.toStdString();
  Interfaces(dialog)->setCurrentItem(found.front());
}
QPoint RowPlace(QDialog* dialog, const QString& name) {
  auto found = Boards(dialog)->findItems(name, Qt::MatchExactly, 0);
  if (found.size() != 1) {
    ADD_FAILURE() << "no board row " << name.toStdString();
    return {};
  }
  return Boards(dialog)->visualItemRect(found.front()).center();
}
void ClickRow(QDialog* dialog, const QString& name) {
  QTest::mouseClick(Boards(dialog)->viewport(), Qt::LeftButton, {}, RowPlace(dialog, name));
}
// Picks a file in the file dialog that the Add Interface click opens.
void PickFile(QDialog* dialog, const std::string& path) {
  test::ThenModal(dialog, [path](QDialog* files) {
    auto* chooser = qobject_cast<QFileDialog*>(files);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), "Select Link Interface");
    EXPECT_EQ(chooser->nameFilters(), QStringList{"Link Interfaces (.so) (*.so)"});
    EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
    chooser->selectFile(QString::fromStdString(path));
    QMetaObject::invokeMethod(chooser, "accept");
  });
  Click(dialog, "addInterface");
}

class InterfaceDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    Ui::Install(&ui_);
    setenv("VELTRA_PLUGIN_PATH", plugins_.Path().c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : kNames) unsetenv((std::string("VELTRA_TESTLINK_") + name + "_BOARDS").c_str());
    unsetenv("VELTRA_PLUGIN_PATH");
    Ui::Install(nullptr);
  }
  // A copy of a test interface library in this test's own directory.
  std::string Library(const std::string& name, int boards) {
    setenv(("VELTRA_TESTLINK_" + name + "_BOARDS").c_str(), std::to_string(boards).c_str(), 1);
    std::string target = plugins_.File(name + "_Orv.so");
    if (!fs::exists(target))
      fs::copy_file(DynamicLibrary::ProgramDirectory() + "testlinks/" + name + "_Orv.so", target);
    return target;
  }
  // A manager that knows only the libraries given, added in this order.
  std::unique_ptr<LinkManager> Manager(const std::vector<std::string>& paths) {
    std::unique_ptr<LinkManager> manager(GetLinkManager());
    for (const auto& path : paths) EXPECT_TRUE(manager->AddInterface(path.c_str())) << path;
    return manager;
  }
  static void Dialog(LinkManager& manager, const std::function<void(QDialog*)>& script) {
    test::WithModal([&] { manager.SelectInterface(kOwner); }, script);
  }
  static std::string Selection(LinkManager& manager) {
    char name[kInterfaceNameSize];
    manager.InterfaceName(name);
    return name;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_.Boxes()) {
      EXPECT_EQ(box.caption, box.caption == "Faulty DLL" ? "Faulty DLL" : "Link Manager");
      EXPECT_EQ(box.icon, MessageIcon::Error) << box.text;
      texts.push_back(box.text);
    }
    return texts;
  }

  test::TempDir config_{true};
  test::TempDir plugins_;
  RecordingUi ui_;
};

TEST_F(InterfaceDialogTest, OneInterfaceWithOneBoardIsChosenAtOnceAndOkAccepts) {
  std::string extra = Library("Extra", 1);
  auto manager = Manager({extra});
  bool closed = false;
  Dialog(*manager, [&](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Veltra hardware interfaces");
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"Extra interface"}));
    EXPECT_EQ(Interfaces(dialog)->currentRow(), 0);
    EXPECT_EQ(BoardsLabel(dialog), "Extra interface");
    QTreeWidget* boards = Boards(dialog);
    EXPECT_EQ(boards->headerItem()->text(0), "Boards detected  ");
    EXPECT_EQ(boards->headerItem()->text(1), "ID ");
    int first = boards->header()->sectionSize(0), second = boards->header()->sectionSize(1);
    EXPECT_EQ(first + second, boards->viewport()->width());
    EXPECT_NEAR(first * 3.0 / second, 17.0, 0.5) << first << " : " << second;
    EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Extra board 0|100"}));
    ASSERT_EQ(boards->selectedItems().size(), 1);
    EXPECT_EQ(dialog->focusWidget(), boards);
    Click(dialog, "ok");
    closed = !dialog->isVisible();
  });
  EXPECT_TRUE(closed);
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(Selection(*manager), "Extra board 0 [100]");
  EXPECT_EQ(GetProfileString(kSettingsSection, "BoardSelect_Dll"), extra);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), 0);
}

TEST_F(InterfaceDialogTest, NoChoiceIsRefusedWithTheRightWordsAndBoardsFollowTheInterface) {
  auto manager =
      Manager({Library("Cedar", 3), Library("Alder", 1), Library("Extra", 0), Library("Birch", 2)});
  Dialog(*manager, [&](QDialog* dialog) {
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"Alder interface", "Birch interface",
                                                       "Cedar interface", "Extra interface"}));
    EXPECT_EQ(BoardsLabel(dialog), "");
    EXPECT_TRUE(Rows(dialog).empty());
    Click(dialog, "ok");
    EXPECT_TRUE(dialog->isVisible());

    ChooseLine(dialog, "Extra interface");
    EXPECT_EQ(BoardsLabel(dialog), "Extra interface - no boards detected");
    EXPECT_TRUE(Rows(dialog).empty());
    Click(dialog, "ok");
    EXPECT_TRUE(dialog->isVisible());

    ChooseLine(dialog, "Cedar interface");
    EXPECT_EQ(BoardsLabel(dialog), "Cedar interface");
    EXPECT_EQ(Rows(dialog),
              (std::vector<std::string>{"Cedar board 0|100", "Cedar board 1|101", "Cedar board 2|102"}));
    EXPECT_TRUE(Boards(dialog)->selectedItems().isEmpty()) << "several boards: none chosen";
    ClickRow(dialog, "Cedar board 1");
    // A second interface after a board of the first: no choice is left.
    ChooseLine(dialog, "Birch interface");
    EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Birch board 0|100", "Birch board 1|101"}));
    Click(dialog, "ok");
    EXPECT_TRUE(dialog->isVisible());

    // A click beside the rows chooses none.
    ClickRow(dialog, "Birch board 0");
    QTest::mouseClick(Boards(dialog)->viewport(), Qt::LeftButton, {},
                      QPoint(5, Boards(dialog)->viewport()->height() - 3));
    EXPECT_TRUE(Boards(dialog)->selectedItems().isEmpty());
    Click(dialog, "ok");
    EXPECT_TRUE(dialog->isVisible());

    // One board: chosen with its interface.
    ChooseLine(dialog, "Alder interface");
    EXPECT_EQ(Boards(dialog)->selectedItems().size(), 1);
    ChooseLine(dialog, "Cedar interface");
    ClickRow(dialog, "Cedar board 2");
    Click(dialog, "ok");
    EXPECT_FALSE(dialog->isVisible());
  });
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"No hardware interface has been selected", "No board has been selected",
                                      "No board has been selected", "No board has been selected"}));
  EXPECT_EQ(Selection(*manager), "Cedar board 2 [102]");
}

TEST_F(InterfaceDialogTest, DoubleClickOnABoardActsAsOk) {
  auto manager = Manager({Library("Birch", 2), Library("Alder", 0)});
  Dialog(*manager, [&](QDialog* dialog) {
    ChooseLine(dialog, "Birch interface");
    QTest::mouseDClick(Boards(dialog)->viewport(), Qt::LeftButton, {}, RowPlace(dialog, "Birch board 0"));
    EXPECT_FALSE(dialog->isVisible());
  });
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(Selection(*manager), "Birch board 0 [100]");
}

TEST_F(InterfaceDialogTest, AddAndRemoveStayDoneWhenTheDialogIsCancelled) {
  std::string cedar = Library("Cedar", 2);
  std::string extra = Library("Extra", 1);
  std::string faulty = Library("NoInfo", 0);
  auto manager = Manager({cedar});
  manager->SetCurrentInterface(nullptr);
  Dialog(*manager, [&](QDialog* dialog) {
    // The only interface is chosen at once; remove it, then ask again with nothing chosen.
    EXPECT_EQ(BoardsLabel(dialog), "Cedar interface");
    PickFile(dialog, faulty);
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"Cedar interface"}));
    PickFile(dialog, extra);
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"Cedar interface", "Extra interface"}));
    EXPECT_EQ(BoardsLabel(dialog), "");
    EXPECT_TRUE(Rows(dialog).empty());
    Click(dialog, "removeInterface");
    ChooseLine(dialog, "Cedar interface");
    Click(dialog, "removeInterface");
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"Extra interface"}));
    EXPECT_EQ(BoardsLabel(dialog), "Extra interface") << "the one left is chosen";
    Click(dialog, "cancel");
  });
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Cannot find entry point \"GetInfo\" in library \"" + faulty + "\"",
                                      "No hardware interface selected"}));
  EXPECT_EQ(ui_.Boxes()[0].caption, "Faulty DLL");
  EXPECT_EQ(GetProfileString(kSettingsSection, "Link_Interfaces"), extra + ";");
  std::vector<std::string> left;
  manager->BeginInterfaces();
  while (const char* name = manager->NextInterfaceName()) left.push_back(name);
  EXPECT_EQ(left, (std::vector<std::string>{"Extra interface"}));
  EXPECT_EQ(Selection(*manager), "") << "adding cleared the selection, and Cancel chose nothing";
  // The file dialogs look at the disk on Qt's worker threads: let them finish.
  QThreadPool::globalInstance()->waitForDone();
}

// Runs only in a child started by TheChoicePersistsIntoANewProcess.
TEST_F(InterfaceDialogTest, DISABLED_ChoiceRestoredHere) {
  const char* store = std::getenv("VELTRA_PARENT_STORE");
  ASSERT_NE(store, nullptr);
  setenv("VELTRA_CONFIG_DIR", store, 1);
  Library("Cedar", 3);
  std::unique_ptr<LinkManager> manager(GetLinkManager());
  manager->Initialise(kOwner);
  EXPECT_EQ(Selection(*manager), "Cedar board 1 [101]");
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(InterfaceDialogTest, TheSimulatorIsListedAndTheChoicePersistsIntoANewProcess) {
  Library("Cedar", 3);
  std::unique_ptr<LinkManager> manager(GetLinkManager());
  manager->Initialise(kOwner);
  Dialog(*manager, [&](QDialog* dialog) {
    auto lines = Lines(dialog);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Veltra simulated network"), lines.end());
    ChooseLine(dialog, "Veltra simulated network");
    EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Simulated DSP|1"}));
    ChooseLine(dialog, "Cedar interface");
    ClickRow(dialog, "Cedar board 1");
    Click(dialog, "ok");
  });
  EXPECT_EQ(Selection(*manager), "Cedar board 1 [101]");
  manager.reset();

  auto result = test::RunProcess(
      "/proc/self/exe",
      {"--gtest_filter=InterfaceDialogTest.DISABLED_ChoiceRestoredHere", "--gtest_also_run_disabled_tests"},
      {.environment = {{"VELTRA_PARENT_STORE", config_.Path().string()}}});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("[  PASSED  ] 1 test."), std::string::npos) << result.out;
}

TEST_F(InterfaceDialogTest, Screenshot) {
  const char* dir = std::getenv("VELTRA_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "VELTRA_SCREENSHOT_DIR names where the picture goes";
  std::unique_ptr<LinkManager> manager(GetLinkManager());
  Library("Cedar", 3);
  manager->Initialise(kOwner);
  Dialog(*manager, [&](QDialog* dialog) {
    ChooseLine(dialog, "Cedar interface");
    ClickRow(dialog, "Cedar board 1");
    QApplication::processEvents();
    EXPECT_TRUE(dialog->grab().save(QString("%1/interfaces.png").arg(dir)));
    test::ThenModal(dialog, [&](QDialog* files) {
      files->resize(640, 400);
      QApplication::processEvents();
      EXPECT_TRUE(files->grab().save(QString("%1/add-interface.png").arg(dir)));
    });
    Click(dialog, "addInterface");
  });
  QThreadPool::globalInstance()->waitForDone();
}

}  // namespace
}  // namespace veltra
