// Veltra Help and Contact: the search of the installation for user guides,
// no guide, one guide opened at once, the list dialog for several, an opener
// that fails, and the mail link. The desktop's opener is replaced by a script
// that writes down what it was asked, so nothing is ever opened.
#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/UserGuides.h"
#include "host/UserGuidesDialog.h"
#include "host/tests/HostrixTestSupport.h"
#include "platform/settings/Registry.h"
#include "tests/support/ModalScript.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "%PDF-1.4\n";
}

class UserGuidesTest : public ::testing::Test, public HostrixFixture {
 protected:
  UserGuidesTest() {
    fs::create_directories(installation_.Path() / "target");
    Registry key;
    EXPECT_TRUE(key.Open(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Orv Veltra"));
    EXPECT_EQ(key.WriteString("Veltra", installation_.Path().string()), RegistryStatus::Ok);
    SetOpener(0);
  }
  ~UserGuidesTest() override { unsetenv("VELTRA_OPEN_COMMAND"); }

  // The opener writes "working directory|argument" and ends with status.
  void SetOpener(int status) {
    std::string script = opener_.File("open.sh");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s\\n' \"$PWD\" \"$1\" >> '" << opener_.File("log")
                          << "'\nexit " << status << "\n";
    fs::permissions(script, fs::perms::owner_all);
    setenv("VELTRA_OPEN_COMMAND", script.c_str(), 1);
  }
  std::vector<std::string> Opened() const {
    std::vector<std::string> lines;
    std::ifstream log(opener_.File("log"));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }
  fs::path Guide(const std::string& family, const std::string& board) const {
    fs::path folder = installation_.Path() / "target" / family / board / "documentation";
    Touch(folder / "Veltra.pdf");
    return folder;
  }
  QAction* HelpItem(const QString& text) const {
    for (QAction* menu : frame_->menuBar()->actions())
      for (QAction* action : menu->menu()->actions())
        if (action->text() == text) return action;
    return nullptr;
  }
  static std::string OpenedLine(const fs::path& folder) {
    return folder.string() + "|" + (folder / "Veltra.pdf").string();
  }

  TempDir installation_;
  TempDir opener_;
};

TEST_F(UserGuidesTest, TheSearchTakesEachBoardFoldersGuideAndNothingElse) {
  fs::path a = Guide("sim", "boardA");
  fs::path x = Guide("alpha", "x");
  fs::path target = installation_.Path() / "target";
  fs::create_directories(target / "sim" / "boardB" / "documentation");  // no guide
  Touch(target / "beta" / "y" / "Veltra.pdf");                          // not in documentation
  Touch(target / "plain.txt");
  Touch(target / "sim" / "readme");
  std::vector<UserGuide> guides = UserGuides::Search(installation_.Path().string() + "/");
  ASSERT_EQ(guides.size(), 2u);
  std::vector<std::pair<std::string, std::string>> found;
  for (const UserGuide& guide : guides) found.emplace_back(guide.description, guide.folder);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found[0], std::make_pair(std::string("alpha  x"), x.string()));
  EXPECT_EQ(found[1], std::make_pair(std::string("sim  boardA"), a.string()));

  EXPECT_TRUE(UserGuides::Search("").empty());
  TempDir bare;
  EXPECT_TRUE(UserGuides::Search(bare.Path().string() + "/").empty());
}

TEST_F(UserGuidesTest, WithoutGuidesABoxSaysSoAndTheListIsKeptForTheRun) {
  Start(false);
  QAction* help = HelpItem("&Veltra Help");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isEnabled());
  help->trigger();
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  EXPECT_EQ(ui_->Boxes()[0].caption, "No Veltra User Guides can be found");
  EXPECT_EQ(ui_->Boxes()[0].text, "The Veltra installation directory cannot be found");
  EXPECT_EQ(ui_->Boxes()[0].icon, MessageIcon::Error);
  EXPECT_TRUE(ui_->Boxes()[0].owned);
  // A guide installed meanwhile is found in the next run only.
  Guide("sim", "boardA");
  help->trigger();
  EXPECT_EQ(ui_->Boxes().size(), 2u);
  EXPECT_TRUE(Opened().empty());
}

TEST_F(UserGuidesTest, TheOnlyGuideOpensAtOnceWithF1) {
  fs::path folder = Guide("sim", "boardA");
  Start(false);
  frame_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
  QTest::keyClick(frame_.get(), Qt::Key_F1);
  EXPECT_EQ(Opened(), std::vector<std::string>{OpenedLine(folder)});
  EXPECT_TRUE(ui_->Boxes().empty());
}

TEST_F(UserGuidesTest, SeveralGuidesAreListedSortedAndTheChosenOneOpens) {
  fs::path a = Guide("Sim", "boardA");
  fs::path x = Guide("alpha", "x");
  Start(false);
  QStringList listed;
  bool firstSelected = false;
  bool openWithoutSelection = true;
  WithModal([&] { frame_->OnUserGuides(); },
            [&](QDialog* dialog) {
              auto* guides = qobject_cast<UserGuidesDialog*>(dialog);
              ASSERT_NE(guides, nullptr);
              EXPECT_EQ(dialog->windowTitle(), "User Guides");
              for (int row = 0; row < guides->List()->count(); ++row)
                listed << guides->List()->item(row)->text();
              firstSelected = guides->List()->currentRow() == 0 && guides->OpenButton()->isEnabled();
              // With nothing selected, Open is greyed; the user picks again.
              guides->List()->clearSelection();
              openWithoutSelection = guides->OpenButton()->isEnabled();
              QListWidgetItem* second = guides->List()->item(1);
              QPoint place = guides->List()->visualItemRect(second).center();
              // A double click as the window system sends it: a click, then the double click.
              QTest::mouseClick(guides->List()->viewport(), Qt::LeftButton, {}, place);
              QTest::mouseDClick(guides->List()->viewport(), Qt::LeftButton, {}, place);
            });
  // Without regard to case.
  EXPECT_EQ(listed, QStringList({"alpha  x", "Sim  boardA"}));
  EXPECT_TRUE(firstSelected);
  EXPECT_FALSE(openWithoutSelection);
  EXPECT_EQ(Opened(), std::vector<std::string>{OpenedLine(a)});

  // From the keyboard: Return opens the selected guide, Escape nothing.
  WithModal([&] { frame_->OnUserGuides(); },
            [](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
  WithModal([&] { frame_->OnUserGuides(); },
            [](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(Opened(), (std::vector<std::string>{OpenedLine(a), OpenedLine(x)}));
  EXPECT_TRUE(ui_->Boxes().empty());
}

TEST_F(UserGuidesTest, AGuideTheOpenerCannotShowGivesCannotAccessUserGuide) {
  Guide("sim", "boardA");
  SetOpener(4);
  Start(false);
  frame_->OnUserGuides();
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  EXPECT_EQ(ui_->Boxes()[0].caption, "Cannot access User Guide");
  EXPECT_EQ(ui_->Boxes()[0].text, "Veltra.pdf");
  EXPECT_EQ(Opened().size(), 1u);
  // No opener at all says the same.
  setenv("VELTRA_OPEN_COMMAND", opener_.File("missing").c_str(), 1);
  frame_->OnUserGuides();
  ASSERT_EQ(ui_->Boxes().size(), 2u);
  EXPECT_EQ(ui_->Boxes()[1].caption, "Cannot access User Guide");
}

TEST_F(UserGuidesTest, ContactOpensAMailToTheSupportAddress) {
  Start(false);
  QAction* contact = HelpItem("Contact Orv");
  ASSERT_NE(contact, nullptr);
  contact->trigger();
  ASSERT_EQ(Opened().size(), 1u);
  EXPECT_NE(Opened()[0].find("|mailto:support@veltra.example"), std::string::npos) << Opened()[0];
  EXPECT_TRUE(ui_->Boxes().empty());
  // Without a mail program the address is shown instead.
  SetOpener(3);
  contact->trigger();
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  EXPECT_EQ(ui_->Boxes()[0].caption, "Contact Orv");
  EXPECT_NE(ui_->Boxes()[0].text.find("support@veltra.example"), std::string::npos);
}

}  // namespace
}  // namespace veltra::test
