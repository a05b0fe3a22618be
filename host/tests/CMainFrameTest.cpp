// The main frame: the menus as the user sees them, what is enabled while an
// application runs and while idle, the two toolbars, the status panes and
// files dropped on the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <cstring>
#include <vector>

#include "host/AboutBox.h"
#include "host/tests/HostrixTestSupport.h"
#include "tests/support/ModalScript.h"
#include "tests/support/ScriptedLink.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OrvServer.h"

namespace veltra::test {
namespace {

struct MenuItem {
  const char* menu;
  const char* text;
  QKeySequence key;
  const char* prompt;   // status bar; "" when the item has none
  const char* tooltip;  // "" when the item has none
};

const std::vector<MenuItem> kMenus = {
    {"&File", "&Application", Qt::Key_F3, "Select application file to run", "Application"},
    {"&File", "New Server Instance", {}, "", ""},
    {"&File", "E&xit", {}, "Quit the application; prompts to save documents", "Exit"},
    {"Go", "&Run", Qt::Key_F5, "Runs the selected Veltra Application", "Run"},
    {"Go", "&Stop", QKeySequence(Qt::SHIFT | Qt::Key_F5), "Stop the currently-running Veltra application",
     "Stop"},
    {"Go", "&Pause", Qt::Key_Pause, "Pauses the application on the next stdout or stderr request", "Pause"},
    {"Go", "Page &Mode", Qt::Key_ScrollLock,
     "Select page mode to stop output after a page full (Pause continues)", "Page Mode"},
    {"Go", "Reconnect", {}, "", ""},
    {"&View", "&Options", Qt::Key_F7, "", ""},
    {"&View", "&Clear Screen", QKeySequence(Qt::ALT | Qt::Key_C), "Clear the output display", "Clear Screen"},
    {"&View", "&Toolbar", {}, "Show or hide the toolbar", "Toggle ToolBar"},
    {"&View", "&Status Bar", {}, "Show or hide the status bar", "Toggle StatusBar"},
    {"&View",
     "Host Semaphore Toolbar",
     {},
     "Show or hide the host semaphore toolbar",
     "Toggle Host Semaphore Toolbar"},
    {"Board", "Select", {}, "", ""},
    {"Board", "Reset", {}, "Reset DSP Board", "Reset DSP Board"},
    {"Board", "Properties", {}, "", ""},
    {"&Help", "&Veltra Help", Qt::Key_F1, "Opens Veltra Help pages", ""},
    {"&Help", "&About Veltra...", {}, "", ""},
    {"&Help", "Contact Orv", {}, "", ""},
};

// A link whose driver fills the whole name buffer, without an end, and
// reports the version it was given.
class FullNameLink final : public ScriptedLink {
 public:
  FullNameLink(int major, int minor) : major_(major), minor_(minor) {}
  int DriverVersion(char* name, int* major, int* minor) override {
    std::memset(name, 'D', 128);
    *major = major_;
    *minor = minor_;
    return 0;
  }

 private:
  int major_;
  int minor_;
};

// Only CurrentLink matters to the About box.
class OneLinkManager final : public LinkManager {
 public:
  explicit OneLinkManager(Link* link) : link_(link) {}
  Link* CurrentLink() override { return link_; }
  void SelectInterface(WindowHandle) override {}
  Link* OpenLinkByName(const char*, int) override { return nullptr; }
  bool AddInterface(const char*) override { return false; }
  int BeginInterfaces() override { return 0; }
  const char* NextInterfaceName() override { return nullptr; }
  InterfaceEntry* CurrentInterface() override { return nullptr; }
  void SetCurrentInterface(InterfaceEntry*) override {}
  int BeginBoards() override { return 0; }
  int CurrentBoardId() override { return 0; }
  const char* NextBoardName() override { return nullptr; }
  BoardEntry* CurrentBoard() override { return nullptr; }
  void SelectBoard(BoardEntry*) override {}
  void InterfaceName(char* buffer) override { buffer[0] = '\0'; }
  void RemoveInterface(InterfaceEntry*) override {}
  void Initialise(WindowHandle) override {}

 private:
  Link* link_;
};

class CMainFrameTest : public ::testing::Test, public HostrixFixture {
 protected:
  void SetOption(const char* name, int value) { ASSERT_TRUE(WriteProfileInt(kSettingsSection, name, value)); }
  // The items of the menu bar in order, separators left out.
  std::vector<std::pair<QString, QAction*>> Items() const {
    std::vector<std::pair<QString, QAction*>> items;
    for (QAction* menu : frame_->menuBar()->actions())
      for (QAction* action : menu->menu()->actions())
        if (!action->isSeparator()) items.emplace_back(menu->text(), action);
    return items;
  }
  QAction* Item(const QString& text) const {
    for (auto& [menu, action] : Items())
      if (action->text() == text) return action;
    ADD_FAILURE() << "no item " << text.toStdString();
    return nullptr;
  }
  bool Pressed(QToolBar* bar, QAction* action) const {
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    return button && button->isChecked();
  }
  bool RunEnded() {
    return WaitUntil([&] { return !doc_->Running() && frame_->PaneText(2).isEmpty(); }, 30000);
  }
  std::string TestApp(const std::string& name) const {
    return TestBinDirectory() + "/testapps/" + name + ".app";
  }
};

TEST_F(CMainFrameTest, EveryMenuItemHasItsTextKeyPromptAndTooltip) {
  Start(false);
  auto items = Items();
  ASSERT_EQ(items.size(), kMenus.size());
  for (size_t i = 0; i < kMenus.size(); ++i) {
    const MenuItem& expected = kMenus[i];
    QAction* action = items[i].second;
    SCOPED_TRACE(expected.text);
    EXPECT_EQ(items[i].first, expected.menu);
    EXPECT_EQ(action->text(), expected.text);
    EXPECT_EQ(action->shortcut(), expected.key);
    EXPECT_EQ(action->statusTip(), expected.prompt);
    if (*expected.tooltip) {
      EXPECT_EQ(action->toolTip(), expected.tooltip);
    }
  }
}

TEST_F(CMainFrameTest, RecentFilesStandInTheFileMenuAboveNewServerInstance) {
  recent_.Add("/tmp/one.app");
  recent_.Add("/tmp/two.app");
  Start(false);
  QList<QAction*> file = frame_->FileMenu()->actions();
  QStringList texts;
  for (QAction* action : file)
    if (!action->isSeparator()) texts << action->text();
  EXPECT_EQ(texts, QStringList({"&Application", "&1 /tmp/two.app", "&2 /tmp/one.app", "New Server Instance",
                                "E&xit"}));
  EXPECT_EQ(Item("&1 /tmp/two.app")->statusTip(), "Open this document");
  // Rebuilt, not added to, when the list changes.
  recent_.Add("/tmp/one.app");
  frame_->UpdateRecentFiles();
  EXPECT_EQ(frame_->FileMenu()->actions().size(), file.size());
  EXPECT_NE(Item("&1 /tmp/one.app"), nullptr);
}

TEST_F(CMainFrameTest, CommandsAreEnabledByTheRunState) {
  SetOption("SayStop", 0);
  Start();
  // Item, enabled while idle, enabled while running.
  struct Rule {
    const char* item;
    bool idle;
    bool running;
  };
  const Rule rules[] = {
      {"&Application", true, false},    {"New Server Instance", true, false},
      {"E&xit", true, false},           {"&Run", true, false},
      {"&Stop", false, true},           {"&Pause", true, true},
      {"Page &Mode", true, true},       {"Reconnect", true, false},
      {"&Clear Screen", true, true},    {"Select", true, false},
      {"Reset", true, false},           {"Properties", true, false},
      {"&About Veltra...", true, true}, {"&Veltra Help", true, true},
  };
  Open(Example("hello"));
  ASSERT_TRUE(RunEnded());
  frame_->UpdateCommands();
  for (const Rule& rule : rules) EXPECT_EQ(Item(rule.item)->isEnabled(), rule.idle) << "idle: " << rule.item;
  EXPECT_TRUE(frame_->FileMenu()->isEnabled());

  Open(TestApp("endless"));
  ASSERT_TRUE(WaitUntil([&] { return doc_->Running(); }));
  frame_->UpdateCommands();
  for (const Rule& rule : rules)
    EXPECT_EQ(Item(rule.item)->isEnabled(), rule.running) << "running: " << rule.item;
  EXPECT_FALSE(frame_->FileMenu()->isEnabled());
  doc_->OnStop();
  ASSERT_TRUE(RunEnded());
}

TEST_F(CMainFrameTest, ToolbarsAreBuiltInOrderAndTheSemaphoreBarStartsHidden) {
  Start();
  QToolBar* main = frame_->MainToolBar();
  EXPECT_EQ(main->windowTitle(), "Veltra Toolbar");
  EXPECT_EQ(frame_->toolBarArea(main), Qt::TopToolBarArea);
  EXPECT_EQ(main->allowedAreas(), Qt::AllToolBarAreas);
  EXPECT_TRUE(main->isMovable());
  QStringList order;
  for (QAction* action : main->actions()) order << (action->isSeparator() ? "|" : action->text());
  EXPECT_EQ(order, QStringList({"&Application", "|", "&Run", "|", "&Pause", "Page &Mode", "&Stop",
                                "&Clear Screen", "|", "Reset", "&About Veltra..."}));
  for (QAction* action : main->actions())
    if (!action->isSeparator()) {
      EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    }

  QToolBar* semaphores = frame_->SemaphoreToolBar();
  EXPECT_EQ(semaphores->windowTitle(), "Signal Host Semaphores");
  EXPECT_EQ(frame_->toolBarArea(semaphores), Qt::BottomToolBarArea);
  EXPECT_TRUE(semaphores->isHidden());
  ASSERT_EQ(semaphores->actions().size(), 10);
  for (int n = 0; n < 10; ++n) {
    QAction* action = semaphores->actions()[n];
    EXPECT_EQ(action->statusTip(), QString("Signal host semaphore %1").arg(n));
    EXPECT_EQ(action->toolTip(), QString("HostSema %1").arg(n));
  }
  // Pause and Page Mode start released.
  EXPECT_FALSE(Pressed(main, frame_->PauseAction()));
  EXPECT_FALSE(Pressed(main, frame_->PageModeAction()));
}

TEST_F(CMainFrameTest, TheHostSemaphoreToolbarToggleShowsHidesAndChecks) {
  Start(false);
  QAction* toggle = Item("Host Semaphore Toolbar");
  EXPECT_FALSE(toggle->isChecked());
  toggle->trigger();
  EXPECT_TRUE(frame_->SemaphoreToolBarShown());
  EXPECT_FALSE(frame_->SemaphoreToolBar()->isHidden());
  frame_->UpdateCommands();
  EXPECT_TRUE(toggle->isChecked());
  toggle->trigger();
  EXPECT_FALSE(frame_->SemaphoreToolBarShown());
  EXPECT_TRUE(frame_->SemaphoreToolBar()->isHidden());
  frame_->UpdateCommands();
  EXPECT_FALSE(toggle->isChecked());

  // The main toolbar and the status bar toggles.
  Item("&Toolbar")->trigger();
  EXPECT_TRUE(frame_->MainToolBar()->isHidden());
  Item("&Status Bar")->trigger();
  EXPECT_TRUE(frame_->statusBar()->isHidden());
  frame_->UpdateCommands();
  EXPECT_FALSE(Item("&Toolbar")->isChecked());
  EXPECT_FALSE(Item("&Status Bar")->isChecked());
  Item("&Toolbar")->trigger();
  EXPECT_FALSE(frame_->MainToolBar()->isHidden());
}

TEST_F(CMainFrameTest, PauseAndPageModeButtonsShowTheirStateAndPanesTheirBorder) {
  Start();
  QToolBar* main = frame_->MainToolBar();
  doc_->OnPageMode();
  EXPECT_TRUE(Pressed(main, frame_->PageModeAction()));
  EXPECT_EQ(frame_->PaneText(3), "Page Mode");
  EXPECT_EQ(frame_->Pane(3)->frameShadow(), QFrame::Raised);
  doc_->OnPageMode();
  EXPECT_FALSE(Pressed(main, frame_->PageModeAction()));
  EXPECT_EQ(frame_->Pane(3)->frameShape(), QFrame::NoFrame);

  doc_->OnPause();
  EXPECT_TRUE(Pressed(main, frame_->PauseAction()));
  frame_->GuiRequest(CHostrixDoc::kClearPaused);
  EXPECT_FALSE(Pressed(main, frame_->PauseAction()));
  EXPECT_TRUE(frame_->PaneText(1).isEmpty());
  frame_->GuiRequest(CHostrixDoc::kShowPaused);
  EXPECT_TRUE(Pressed(main, frame_->PauseAction()));
  EXPECT_EQ(frame_->PaneText(1), "Paused");
  EXPECT_EQ(frame_->Pane(1)->frameShape(), QFrame::Panel);
  doc_->OnPause();
  EXPECT_FALSE(Pressed(main, frame_->PauseAction()));

  // Pane 0 falls back to "Ready" when a prompt goes.
  frame_->statusBar()->showMessage("Run");
  frame_->statusBar()->clearMessage();
  EXPECT_EQ(frame_->PaneText(0), "Ready");
}

TEST_F(CMainFrameTest, DroppingSeveralFilesIsRefusedAndChangesNothing) {
  Start();
  shared_.SetApplicationPath("/before.app");
  frame_->DropFiles({"/tmp/a.app", "/tmp/b.app"});
  ASSERT_EQ(ui_->Boxes().size(), 1u);
  ShownBox box = ui_->Boxes()[0];
  EXPECT_EQ(box.caption, "Veltra Server: Drag & Drop");
  EXPECT_EQ(box.text,
            "You have selected several files but the server\ncan only run one Veltra application at a time.\n"
            "Please select a single file");
  EXPECT_EQ(box.icon, MessageIcon::Error);
  EXPECT_TRUE(box.owned);
  QCoreApplication::processEvents();
  EXPECT_EQ(shared_.ApplicationPath(), "/before.app");
  EXPECT_FALSE(doc_->Running());
}

TEST_F(CMainFrameTest, OneDroppedFileIsOpenedAsTheApplication) {
  SetOption("SayStop", 0);
  Start();
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(Example("hello")))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(frame_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(frame_.get(), &drop);
  EXPECT_EQ(shared_.ApplicationPath(), Example("hello"));
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store()) == "Hello from the Veltra DSP network!"; }));
  EXPECT_EQ(frame_->windowTitle().toStdString(), "Veltra Server:    " + Example("hello"));
  ASSERT_TRUE(RunEnded());
  EXPECT_TRUE(ui_->Boxes().empty());
  delete mime;
}

TEST_F(CMainFrameTest, SemaphoreButtonsDoNothingWithoutAServer) {
  Start(false);
  for (QAction* action : frame_->SemaphoreToolBar()->actions()) action->trigger();
  EXPECT_TRUE(ui_->Boxes().empty());
  EXPECT_FALSE(doc_->Running());
}

TEST_F(CMainFrameTest, SemaphoreButtonsSignalTheRunningApplication) {
  SetOption("SayStop", 0);
  Start();
  Open(Example("semaphores"));
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store()) == "waiting for host semaphore 3"; }));
  frame_->SemaphoreToolBar()->actions()[2]->trigger();  // not the one it waits for
  QThread::msleep(100);
  QCoreApplication::processEvents();
  EXPECT_TRUE(doc_->Running());
  frame_->SemaphoreToolBar()->actions()[3]->trigger();
  ASSERT_TRUE(RunEnded());
  EXPECT_EQ(StoredText(doc_->Store()), "waiting for host semaphore 3\ngot host semaphore 3");
}

TEST_F(CMainFrameTest, AFileDroppedWhileAnApplicationRunsAsksFirst) {
  SetOption("SayStop", 0);
  Start();
  Open(TestApp("endless"));
  ASSERT_TRUE(WaitUntil([&] { return doc_->Running(); }));
  QString title = frame_->windowTitle();
  answer_ = [](const ShownBox&) { return MessageResult::No; };
  frame_->DropFiles({QString::fromStdString(Example("hello"))});
  ASSERT_TRUE(ui_->WaitForBoxes(1, 5000));
  EXPECT_EQ(ui_->Boxes()[0].caption, "Server running");
  EXPECT_EQ(frame_->windowTitle(), title);
  EXPECT_TRUE(doc_->Running());
  doc_->OnStop();
  ASSERT_TRUE(RunEnded());
}

TEST_F(CMainFrameTest, ADropMeantForAnInstanceThatIsGoneOpensHere) {
  SetOption("SayStop", 0);
  Start();
  // A process id nobody listens on: forwarding fails, so this instance runs it.
  shared_.Data().mainWindow = 0x7ffffff0;
  frame_->DropFiles({QString::fromStdString(Example("hello"))});
  ASSERT_TRUE(WaitUntil([&] { return StoredText(doc_->Store()) == "Hello from the Veltra DSP network!"; }));
  ASSERT_TRUE(RunEnded());
  shared_.Data().mainWindow = 0;
}

TEST_F(CMainFrameTest, TheAboutBoxShowsTheEngineAndDriverVersions) {
  Start();
  AboutBox none(frame_.get(), 0, 0, nullptr);
  EXPECT_EQ(none.windowTitle(), "About Orv Veltra");
  EXPECT_EQ(none.EngineVersionText(), "unknown version");
  EXPECT_EQ(none.DriverText(), "no information available");

  LinkManager* links = doc_->Server()->linkManager;
  ASSERT_NE(links, nullptr);
  AboutBox box(frame_.get(), 2, 7, links);
  EXPECT_EQ(box.EngineVersionText(), "V2.7");
  Link* link = links->CurrentLink();
  ASSERT_NE(link, nullptr);
  char name[128] = {};
  int major = 0;
  int minor = 0;
  link->DriverVersion(name, &major, &minor);
  ASSERT_TRUE(major != 0 || minor != 0);
  EXPECT_EQ(box.DriverText(), QString("%1 V%2.%3").arg(name).arg(major).arg(minor));
}

TEST_F(CMainFrameTest, TheAboutBoxClosesFromTheKeyboard) {
  Start(false);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    QString caption;
    bool closed = false;
    WithModal([&] { Item("&About Veltra...")->trigger(); },
              [&](QDialog* dialog) {
                caption = dialog->windowTitle();
                QTest::keyClick(dialog, key);
                closed = !dialog->isVisible();
              });
    EXPECT_EQ(caption, "About Orv Veltra");
    EXPECT_TRUE(closed) << key;
  }
}

TEST_F(CMainFrameTest, TheAboutBoxReadsNoFurtherThanTheDriverNameBuffer) {
  Start(false);
  FullNameLink versioned(3, 4);
  OneLinkManager withVersion(&versioned);
  AboutBox box(frame_.get(), 0, 0, &withVersion);
  EXPECT_EQ(box.DriverText(), QString(127, 'D') + " V3.4");
  FullNameLink unversioned(0, 0);
  OneLinkManager withoutVersion(&unversioned);
  AboutBox other(frame_.get(), 0, 0, &withoutVersion);
  EXPECT_EQ(other.DriverText(), QString(127, 'D') + ": unknown driver version");
}

}  // namespace
}  // namespace veltra::test
