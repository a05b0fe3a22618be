#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "platform/settings/Profile.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "tests/support/StoreLock.h"
#include "tests/support/TempDir.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"

extern "C" veltra::LinkManager* GetLinkManager();
extern "C" void CloseLinkManager();

namespace veltra {
namespace {

namespace fs = std::filesystem;

int ownerWindow;
const WindowHandle kOwner = reinterpret_cast<WindowHandle>(&ownerWindow);
const char* const kDefaults = "Dogwood_Orv.dll;Cedar_Orv.dll;Birch_Orv.dll;Alder_Orv.dll;";

class LinkManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    Ui::Install(&ui_);
    setenv("VELTRA_PLUGIN_PATH", plugins_.Path().c_str(), 1);
    setenv("VELTRA_TESTLINK_LOG", plugins_.File("calls.log").c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"Dogwood", "Cedar", "Birch", "Alder", "Extra", "NoInfo", "NullInfo"})
      for (const char* what : {"BOARDS", "HIDEID", "LONGNAME", "OPEN"})
        unsetenv((std::string("VELTRA_TESTLINK_") + name + "_" + what).c_str());
    unsetenv("VELTRA_TESTLINK_LOG");
    unsetenv("VELTRA_PLUGIN_PATH");
    Ui::Install(nullptr);
  }

  // Puts a test interface library into this test's search directory.
  std::string Install(const std::string& name, const std::string& fileName = "") {
    std::string target = plugins_.File(fileName.empty() ? name + "_Orv.so" : fileName);
    fs::copy_file(DynamicLibrary::ProgramDirectory() + "testlinks/" + name + "_Orv.so", target);
    return target;
  }
  static void Boards(const std::string& name, int count) {
    setenv(("VELTRA_TESTLINK_" + name + "_BOARDS").c_str(), std::to_string(count).c_str(), 1);
  }
  static void Set(const std::string& name, const std::string& what, const char* value) {
    if (value)
      setenv(("VELTRA_TESTLINK_" + name + "_" + what).c_str(), value, 1);
    else
      unsetenv(("VELTRA_TESTLINK_" + name + "_" + what).c_str());
  }
  static std::unique_ptr<LinkManager> Start() {
    std::unique_ptr<LinkManager> manager(GetLinkManager());
    manager->Initialise(kOwner);
    return manager;
  }
  // How many times a line occurs in the calls the test libraries saw.
  int Calls(const std::string& line) {
    std::string log = test::ReadWhole(plugins_.File("calls.log"));
    int count = 0;
    for (size_t at = log.find(line + "\n"); at != std::string::npos; at = log.find(line + "\n", at + 1))
      if (at == 0 || log[at - 1] == '\n') ++count;
    return count;
  }
  static std::string Interfaces() { return GetProfileString(kSettingsSection, "Link_Interfaces"); }
  static std::string Selection(LinkManager& manager) {
    char name[kInterfaceNameSize];
    manager.InterfaceName(name);
    return name;
  }
  // The simulator, when it is built, is found beside the programs and joins
  // every start as the last default.
  static std::string Simulator() {
    DynamicLibrary probe;
    return probe.Load("Simulator_Orv.dll") ? "Simulator_Orv.dll;" : "";
  }
  static InterfaceEntry* Find(LinkManager& manager, const std::string& description) {
    manager.BeginInterfaces();
    while (InterfaceEntry* entry = manager.CurrentInterface()) {
      if (description == manager.NextInterfaceName()) return entry;
    }
    return nullptr;
  }

  test::TempDir config_{true};
  test::TempDir plugins_;
  RecordingUi ui_;
};

TEST_F(LinkManagerTest, FirstStartRegistersTheDefaultsAndChoosesDogwoodsHighestBoard) {
  for (const char* name : {"Dogwood", "Cedar", "Birch", "Alder"}) Install(name);
  Boards("Dogwood", 3);
  Boards("Cedar", 2);
  auto manager = Start();

  EXPECT_EQ(Interfaces(), kDefaults + Simulator());
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), 2);
  EXPECT_EQ(GetProfileString(kSettingsSection, "BoardSelect_Dll"), "Dogwood_Orv.dll");
  EXPECT_EQ(Selection(*manager), "Dogwood board 2 [102]");
  EXPECT_TRUE(ui_.Boxes().empty());

  // Newest first: the list runs against "Link_Interfaces".
  std::vector<std::string> names;
  int count = manager->BeginInterfaces();
  while (const char* name = manager->NextInterfaceName()) names.push_back(name);
  EXPECT_EQ(int(names.size()), count);
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
            (std::vector<std::string>{"Alder interface", "Birch interface", "Cedar interface",
                                      "Dogwood interface"}));

  manager->SetCurrentInterface(Find(*manager, "Dogwood interface"));
  EXPECT_EQ(manager->BeginBoards(), 3);
  std::vector<std::pair<int, std::string>> boards;
  while (manager->CurrentBoard()) {
    int id = manager->CurrentBoardId();
    boards.emplace_back(id, manager->NextBoardName());
  }
  EXPECT_EQ(boards, (std::vector<std::pair<int, std::string>>{
                        {102, "Dogwood board 2"}, {101, "Dogwood board 1"}, {100, "Dogwood board 0"}}));
  EXPECT_EQ(manager->NextBoardName(), nullptr);
  EXPECT_EQ(manager->CurrentBoardId(), 0);

  EXPECT_EQ(Calls("Dogwood OpenLink 2"), 0) << "opened only when asked for";
  Link* link = manager->CurrentLink();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(manager->CurrentLink(), link);
  EXPECT_EQ(Calls("Dogwood OpenLink 2"), 1);
  char driver[128];
  int major = 0, minor = 0;
  link->DriverVersion(driver, &major, &minor);
  EXPECT_STREQ(driver, "Dogwood board 2");

  manager.reset();
  for (const char* name : {"Dogwood", "Cedar", "Birch", "Alder"}) {
    EXPECT_EQ(Calls(std::string(name) + " GetInfo"), 1) << name;
    EXPECT_EQ(Calls(std::string(name) + " CloseInfo"), 1) << name;
  }
}

// Another process holds the store past the wait while the manager starts: a
// list that could not be read is no empty list, and writing the defaults over
// it would drop the registered paths and the saved choice.
TEST_F(LinkManagerTest, StoreTooBusyToReadKeepsTheRegisteredPathsAndTheChoice) {
  Install("Dogwood");
  Install("Cedar");
  std::string extra = Install("Extra");
  Boards("Dogwood", 2);
  Boards("Cedar", 1);
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "Link_Interfaces",
                                 extra + ";Dogwood_Orv.dll;Cedar_Orv.dll;" + Simulator()));
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "BoardSelect_Dll", "Cedar_Orv.dll"));
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "BoardSelect_Index", 0));

  test::StoreLock lock(Registry::DatabasePath(RegistryRoot::CurrentUser), 12);
  ASSERT_TRUE(lock.WaitUntilHeld()) << "the shell never took the lock";
  auto manager = Start();
  EXPECT_TRUE(lock.Finish()) << "the shell's transaction failed";

  std::string list = Interfaces();
  EXPECT_EQ(list.rfind(extra + ";", 0), 0u) << list;
  EXPECT_NE(list.find("Dogwood_Orv.dll;"), std::string::npos) << list;
  EXPECT_EQ(GetProfileString(kSettingsSection, "BoardSelect_Dll"), "Cedar_Orv.dll");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), 0);
  EXPECT_TRUE(ui_.Boxes().empty());
}

// No store can be made where the settings go (a read-only home, say): the
// defaults found are still this run's links, and the first start's choice
// is made among them.
TEST_F(LinkManagerTest, WithoutAStoreTheDefaultsFoundAreListedAndChosen) {
  Install("Dogwood");
  Install("Cedar");
  Boards("Dogwood", 2);
  Boards("Cedar", 1);
  std::ofstream(plugins_.File("file")).put('\n');
  setenv("VELTRA_CONFIG_DIR", plugins_.File("file/settings").c_str(), 1);
  auto manager = Start();

  EXPECT_EQ(Selection(*manager), "Dogwood board 1 [101]");
  EXPECT_NE(Find(*manager, "Cedar interface"), nullptr);
  EXPECT_NE(manager->CurrentLink(), nullptr);
  EXPECT_EQ(Interfaces(), "") << "nothing stored";
}

TEST_F(LinkManagerTest, PathsDifferingOnlyInCaseReplaceEachOther) {
  Install("Cedar");
  std::string extra = Install("Extra");
  Boards("Cedar", 1);
  WriteProfileString(kSettingsSection, "Link_Interfaces", "CEDAR_ORV.DLL;" + extra + ";Gone_Orv.dll;");
  auto manager = Start();
  // Missing defaults are left out, a library that does not load stays listed
  // (and drifts forward as the others move to the end), the case variant is replaced.
  EXPECT_EQ(Interfaces(), "Gone_Orv.dll;" + extra + ";Cedar_Orv.dll;" + Simulator());
  ASSERT_EQ(Selection(*manager), "Cedar board 0 [100]");

  Install("Cedar", "CEDAR_ORV.so");
  EXPECT_TRUE(manager->AddInterface("CEDAR_ORV.DLL"));
  EXPECT_EQ(Interfaces(), "Gone_Orv.dll;" + extra + ";" + Simulator() + "CEDAR_ORV.DLL;");
  EXPECT_EQ(Selection(*manager), "") << "adding clears the selection";

  manager->RemoveInterface(Find(*manager, "Extra interface"));
  EXPECT_EQ(Interfaces(), "Gone_Orv.dll;" + Simulator() + "CEDAR_ORV.DLL;");
  EXPECT_EQ(Find(*manager, "Extra interface"), nullptr);
}

TEST_F(LinkManagerTest, SavedBoardThatIsGoneWarnsAndChoosesAgain) {
  Install("Dogwood");
  Boards("Dogwood", 2);
  WriteProfileString(kSettingsSection, "BoardSelect_Dll", "Dogwood_Orv.dll");
  WriteProfileInt(kSettingsSection, "BoardSelect_Index", 5);
  auto manager = Start();
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Your hardware configuration has been changed");
  EXPECT_EQ(boxes[0].caption, "Link Manager");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].owner, kOwner);
  EXPECT_EQ(Selection(*manager), "Dogwood board 1 [101]");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), 1);
  manager.reset();

  // The saved library path must match exactly, case and all.
  ui_.Clear();
  WriteProfileString(kSettingsSection, "BoardSelect_Dll", "dogwood_orv.dll");
  WriteProfileInt(kSettingsSection, "BoardSelect_Index", 0);
  manager = Start();
  EXPECT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(Selection(*manager), "Dogwood board 1 [101]");

  // A choice that is still there comes back without a word.
  manager.reset();
  ui_.Clear();
  WriteProfileString(kSettingsSection, "BoardSelect_Dll", "Dogwood_Orv.dll");
  WriteProfileInt(kSettingsSection, "BoardSelect_Index", 0);
  manager = Start();
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(Selection(*manager), "Dogwood board 0 [100]");
}

TEST_F(LinkManagerTest, LibrariesWithoutAUsableGetInfoAreNotListed) {
  std::string noInfo = Install("NoInfo");
  std::string nullInfo = Install("NullInfo");
  auto manager = Start();
  int before = manager->BeginInterfaces();
  std::string listBefore = Interfaces();

  EXPECT_FALSE(manager->AddInterface(noInfo.c_str()));
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot find entry point \"GetInfo\" in library \"" + noInfo + "\"");
  EXPECT_EQ(boxes[0].caption, "Faulty DLL");
  EXPECT_EQ(boxes[0].owner, kOwner);

  EXPECT_TRUE(manager->AddInterface(nullInfo.c_str()));
  EXPECT_EQ(Calls("NullInfo GetInfo"), 1);
  EXPECT_EQ(manager->BeginInterfaces(), before);
  EXPECT_EQ(Interfaces(), listBefore);

  // Not loadable, too long for the list, or holding its separator: refused quietly.
  EXPECT_FALSE(manager->AddInterface(plugins_.File("Nowhere_Orv.so").c_str()));
  EXPECT_FALSE(manager->AddInterface((plugins_.Path() / std::string(250, 'p')).c_str()));
  EXPECT_FALSE(manager->AddInterface("a;b.dll"));
  EXPECT_FALSE(manager->AddInterface(nullptr));
  EXPECT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(Interfaces(), listBefore);

  manager.reset();
  EXPECT_EQ(Calls("NullInfo CloseInfo"), 1) << "kept loaded until the manager went";
  EXPECT_EQ(Calls("NoInfo CloseInfo"), 0) << "released at once";
}

TEST_F(LinkManagerTest, AddingClearsTheSelectionAndTheNextStartRestoresIt) {
  Install("Dogwood");
  Install("Cedar");
  std::string extra = Install("Extra");
  Boards("Dogwood", 2);
  Boards("Cedar", 1);

  // The first run of the program, in a process of its own.
  std::string report = test::InChild([&] {
    test::ChildChecks check;
    auto manager = Start();
    check.Expect(Selection(*manager) == "Dogwood board 1 [101]", "automatic choice " + Selection(*manager));
    InterfaceEntry* cedar = Find(*manager, "Cedar interface");
    manager->SetCurrentInterface(cedar);
    check.Expect(manager->BeginBoards() == 1, "Cedar has one board");
    manager->SelectBoard(manager->CurrentBoard());
    check.Expect(Selection(*manager) == "Cedar board 0 [100]", "chosen " + Selection(*manager));
    check.Expect(manager->CurrentLink() != nullptr, "link opened");

    check.Expect(manager->AddInterface(extra.c_str()), "added");
    check.Expect(Selection(*manager).empty(), "selection cleared");
    check.Expect(manager->CurrentLink() == nullptr, "no link without a selection");
    check.Expect(GetProfileString(kSettingsSection, "BoardSelect_Dll") == "Cedar_Orv.dll",
                 "saved choice kept");
    return check.Report();
  });
  ASSERT_EQ(report, "");
  EXPECT_EQ(test::RunTool({"get", "Software\\Orv\\Veltra\\Server\\Settings", "BoardSelect_Index"}).out,
            "0\n");

  auto manager = Start();
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(Selection(*manager), "Cedar board 0 [100]");
  // The defaults are registered again once the whole list is loaded.
  EXPECT_NE(Find(*manager, "Extra interface"), nullptr);
  EXPECT_EQ(Interfaces().rfind(extra + ";", 0), 0u) << Interfaces();

  // A choice edited with the tool is what the next start takes.
  manager.reset();
  ASSERT_EQ(test::RunTool({"set", "Software\\Orv\\Veltra\\Server\\Settings", "BoardSelect_Dll", "string",
                           "Dogwood_Orv.dll"})
                .exitCode,
            0);
  manager = Start();
  EXPECT_EQ(Selection(*manager), "Dogwood board 0 [100]");
}

// A start that restores its saved choice loads only the chosen library; the
// others are loaded, asked and registered once something needs the whole list,
// and the restored choice and its open Link stay as they were.
TEST_F(LinkManagerTest, RestoredChoiceLoadsOnlyItsLibraryUntilTheListIsNeeded) {
  Install("Dogwood");
  Install("Cedar");
  Boards("Dogwood", 2);
  Boards("Cedar", 1);
  std::string firstList;
  std::string report = test::InChild([&] {
    test::ChildChecks check;
    auto manager = Start();
    InterfaceEntry* cedar = Find(*manager, "Cedar interface");
    manager->SetCurrentInterface(cedar);
    manager->BeginBoards();
    manager->SelectBoard(manager->CurrentBoard());
    return check.Report();
  });
  ASSERT_EQ(report, "");
  firstList = Interfaces();
  ASSERT_EQ(firstList, "Dogwood_Orv.dll;Cedar_Orv.dll;" + Simulator());
  // Cedar's line is from the first process: count from here on.
  int cedarBefore = Calls("Cedar GetInfo");
  int dogwoodBefore = Calls("Dogwood GetInfo");

  auto manager = Start();
  EXPECT_EQ(Selection(*manager), "Cedar board 0 [100]");
  EXPECT_EQ(Calls("Cedar GetInfo"), cedarBefore + 1);
  EXPECT_EQ(Calls("Dogwood GetInfo"), dogwoodBefore) << "not loaded for a run of the saved choice";
  Link* link = manager->CurrentLink();
  ASSERT_NE(link, nullptr);

  // Listing loads the rest, in the order of a whole start, with no second load of Cedar.
  std::vector<std::string> names;
  int count = manager->BeginInterfaces();
  while (const char* name = manager->NextInterfaceName()) names.push_back(name);
  EXPECT_EQ(int(names.size()), count);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
            (std::vector<std::string>{"Cedar interface", "Dogwood interface"}));
  EXPECT_EQ(Calls("Cedar GetInfo"), cedarBefore + 1);
  EXPECT_EQ(Calls("Dogwood GetInfo"), dogwoodBefore + 1);
  EXPECT_EQ(Interfaces(), firstList);
  EXPECT_EQ(Selection(*manager), "Cedar board 0 [100]") << "listing keeps the choice";
  EXPECT_EQ(manager->CurrentLink(), link) << "and its open Link";
  EXPECT_EQ(Calls("Cedar OpenLink 0"), 1) << "opened once";
  EXPECT_TRUE(ui_.Boxes().empty());

  // A board by name is found among the libraries loaded late as well.
  manager.reset();
  manager = Start();
  EXPECT_NE(manager->OpenLinkByName("Dogwood board 1", 1), nullptr);
  EXPECT_EQ(Selection(*manager), "Cedar board 0 [100]");
  manager.reset();
  EXPECT_EQ(Calls("Cedar CloseInfo"), Calls("Cedar GetInfo")) << "every library loaded is closed once";
  EXPECT_EQ(Calls("Dogwood CloseInfo"), Calls("Dogwood GetInfo"));

  // The chosen library loads but its board is gone: a whole start, which asks
  // that library once, warns and chooses again.
  WriteProfileInt(kSettingsSection, "BoardSelect_Index", 7);
  int cedarAsked = Calls("Cedar GetInfo");
  manager = Start();
  EXPECT_EQ(Calls("Cedar GetInfo"), cedarAsked + 1);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, "Your hardware configuration has been changed");
  EXPECT_EQ(Selection(*manager), "Dogwood board 1 [101]");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), 1);
}

TEST_F(LinkManagerTest, RemovingAnInterfaceLeavesNoCursorOrSelectionOnIt) {
  Install("Dogwood");
  Install("Cedar");
  Boards("Dogwood", 1);
  Boards("Cedar", 2);
  auto manager = Start();
  ASSERT_EQ(Selection(*manager), "Dogwood board 0 [100]");
  InterfaceEntry* dogwood = Find(*manager, "Dogwood interface");
  InterfaceEntry* cedar = Find(*manager, "Cedar interface");
  ASSERT_NE(dogwood, nullptr);
  int count = manager->BeginInterfaces();

  // Walk to Dogwood, make it current and put the board cursor on it, then remove it.
  while (manager->CurrentInterface() != dogwood) manager->NextInterfaceName();
  manager->SetCurrentInterface(dogwood);
  manager->BeginBoards();
  manager->RemoveInterface(dogwood);
  EXPECT_EQ(Selection(*manager), "");
  EXPECT_EQ(manager->CurrentLink(), nullptr);
  EXPECT_EQ(manager->CurrentBoard(), nullptr);
  EXPECT_EQ(manager->BeginBoards(), 0) << "no current interface";
  EXPECT_EQ(Interfaces(), "Cedar_Orv.dll;" + Simulator());
  EXPECT_EQ(manager->BeginInterfaces(), count - 1);
  EXPECT_EQ(Find(*manager, "Dogwood interface"), nullptr);

  manager->RemoveInterface(dogwood);  // already gone: nothing happens
  manager->SetCurrentInterface(dogwood);
  EXPECT_EQ(manager->BeginBoards(), 0);
  manager->SetCurrentInterface(cedar);
  EXPECT_EQ(manager->BeginBoards(), 2);

  manager.reset();
  EXPECT_EQ(Calls("Dogwood CloseInfo"), 1) << "a removed interface's library is closed with the manager";
}

TEST_F(LinkManagerTest, LinkOpensWhenAskedAndAgainAfterAFailure) {
  Install("Dogwood");
  Boards("Dogwood", 1);
  Set("Dogwood", "OPEN", "fail");
  auto manager = Start();
  EXPECT_EQ(manager->CurrentLink(), nullptr);
  EXPECT_EQ(manager->CurrentLink(), nullptr);
  EXPECT_EQ(Calls("Dogwood OpenLink 0 fail"), 2) << "each call tries again";

  Set("Dogwood", "OPEN", "throw");
  EXPECT_EQ(manager->CurrentLink(), nullptr);
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Link Driver Error");
  EXPECT_EQ(boxes[0].text, "Board does not answer Error=7 Line=42 File=testlink.cpp");

  Set("Dogwood", "OPEN", nullptr);
  Link* link = manager->CurrentLink();
  EXPECT_NE(link, nullptr);
  EXPECT_EQ(manager->CurrentLink(), link);
  EXPECT_EQ(Calls("Dogwood OpenLink 0"), 1);

  // OpenLinkByName hands out a new Link and leaves the selection alone.
  EXPECT_NE(manager->OpenLinkByName("DOGWOOD BOARD 0", 0), nullptr);
  EXPECT_EQ(Calls("Dogwood OpenLink 0"), 2);
  EXPECT_EQ(manager->OpenLinkByName("Dogwood board 0", 1), nullptr);
  EXPECT_EQ(manager->OpenLinkByName("Cedar board 0", 0), nullptr);
  EXPECT_EQ(manager->OpenLinkByName(nullptr, 0), nullptr);
  EXPECT_EQ(manager->CurrentLink(), link);
  EXPECT_EQ(Calls("Dogwood OpenLink 0"), 2);

  // Choosing the board again forgets the open Link.
  manager->SetCurrentInterface(Find(*manager, "Dogwood interface"));
  manager->BeginBoards();
  manager->SelectBoard(manager->CurrentBoard());
  EXPECT_NE(manager->CurrentLink(), nullptr);
  EXPECT_EQ(Calls("Dogwood OpenLink 0"), 3);
}

TEST_F(LinkManagerTest, SelectionTextFitsTheHostsBuffer) {
  Install("Dogwood");
  Boards("Dogwood", 1);
  Set("Dogwood", "LONGNAME", "1");
  auto manager = Start();
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  manager->InterfaceName(buffer);
  EXPECT_EQ(std::strlen(buffer), size_t(kInterfaceNameSize - 1));
  EXPECT_EQ(std::string(buffer, 7), "Dogwood");
  EXPECT_EQ(std::string(buffer + kInterfaceNameSize, sizeof buffer - kInterfaceNameSize),
            std::string(sizeof buffer - kInterfaceNameSize, '#'))
      << "nothing written past the host's 32 characters";

  Set("Dogwood", "LONGNAME", nullptr);
  Set("Dogwood", "HIDEID", "1");
  manager = Start();
  EXPECT_EQ(Selection(*manager), "Dogwood board 0");
}

TEST_F(LinkManagerTest, FullInterfaceListRefusesNewPathsAndStaysWithinItsLimit) {
  Install("Dogwood");
  std::string extra = Install("Extra");
  // 17 paths of 250 characters, more than the list holds, and one too long to load.
  std::string stored = "/" + std::string(300, 'x') + ".so;";
  for (int i = 0; i < 17; ++i) {
    std::string path = "/nowhere/" + std::to_string(i) + "/";
    path += std::string(250 - path.size() - 3, 'n') + ".so";
    stored += path + ";";
  }
  WriteProfileString(kSettingsSection, "Link_Interfaces", stored);
  auto manager = Start();
  std::string list = Interfaces();
  EXPECT_LE(list.size(), 4095u);
  EXPECT_EQ(list.find(std::string(300, 'x')), std::string::npos);
  EXPECT_NE(list.find("Dogwood_Orv.dll;"), std::string::npos) << list;
  EXPECT_NE(list.find("/nowhere/14/"), std::string::npos);
  EXPECT_EQ(list.find("/nowhere/16/"), std::string::npos) << "cut where the list ends";
  EXPECT_NE(Find(*manager, "Dogwood interface"), nullptr);

  // Fill it up to the brim: a new path no longer fits and is refused before loading.
  std::string full = list;
  while (4095 - full.size() >= 202) full += "/f/" + std::string(97, 'f') + ";";
  full += "/" + std::string(4095 - full.size() - 2, 'g') + ";";
  WriteProfileString(kSettingsSection, "Link_Interfaces", full);
  ASSERT_EQ(Interfaces().size(), 4095u);
  EXPECT_FALSE(manager->AddInterface(extra.c_str()));
  EXPECT_EQ(Calls("Extra GetInfo"), 0);
  EXPECT_EQ(Interfaces().size(), 4095u);
}

// Runs only in a copy of this program in a directory without the simulator
// (see WithoutBoardsNothingIsSelected), which asks for it by name.
TEST_F(LinkManagerTest, DISABLED_WithoutBoardsNothingIsSelectedHere) {
  ASSERT_EQ(Simulator(), "") << "the simulator is still in the search: it would report a board";
  Install("Dogwood");
  auto manager = Start();
  EXPECT_EQ(Interfaces(), "Dogwood_Orv.dll;") << "only the defaults that load, and no simulator";
  EXPECT_EQ(Selection(*manager), "");
  EXPECT_EQ(manager->CurrentLink(), nullptr);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -9), -9) << "nothing written";
  // The dialog's module is not in this directory: the box says why.
  manager->SelectInterface(kOwner);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text.rfind("The hardware interface dialog cannot be shown: ", 0), 0u)
      << ui_.Boxes()[0].text;
  EXPECT_NE(ui_.Boxes()[0].text.find("WirehubDialog.so"), std::string::npos) << ui_.Boxes()[0].text;
  EXPECT_EQ(ui_.Boxes()[0].caption, "Link Manager");
  EXPECT_EQ(ui_.Boxes()[0].owner, kOwner);
  CloseLinkManager();  // does nothing; the manager is still usable
  EXPECT_EQ(manager->BeginInterfaces(), 1);
}

// The simulator is built beside the programs and always reports a board, and
// libraries are looked for beside the program first. So the case without
// boards runs in a copy of this program, with the libraries it needs and the
// one test interface, in a directory that is also the current one.
TEST_F(LinkManagerTest, WithoutBoardsNothingIsSelected) {
  fs::path bin = DynamicLibrary::ProgramDirectory();
  fs::path program = fs::read_symlink("/proc/self/exe");
  test::TempDir directory;
  fs::create_directory(directory.Path() / "testlinks");
  fs::copy_file(program, directory.Path() / program.filename());
  fs::copy_file(bin / "Wirehub.so", directory.Path() / "Wirehub.so");
  for (const auto& entry : fs::directory_iterator(bin)) {
    std::string file = entry.path().filename().string();
    if (entry.is_regular_file() && file.rfind("lib", 0) == 0 && file.find(".so") != std::string::npos)
      fs::copy_file(entry.path(), directory.Path() / file);
  }
  fs::copy_file(bin / "testlinks" / "Dogwood_Orv.so", directory.Path() / "testlinks" / "Dogwood_Orv.so");
  ASSERT_FALSE(fs::exists(directory.Path() / "Simulator_Orv.so"));

  std::string copy = (directory.Path() / program.filename()).string();
  std::string output = directory.File("output.txt");
  std::vector<std::string> arguments = {
      copy, "--gtest_filter=LinkManagerTest.DISABLED_WithoutBoardsNothingIsSelectedHere",
      "--gtest_also_run_disabled_tests"};
  // The same environment, without what would lead the search elsewhere.
  std::vector<std::string> environment;
  for (char** variable = environ; *variable; ++variable) {
    std::string entry = *variable;
    if (entry.rfind("LD_LIBRARY_PATH=", 0) != 0 && entry.rfind("VELTRA_PLUGIN_PATH=", 0) != 0)
      environment.push_back(entry);
  }
  std::vector<char*> argv, envp;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.Path().c_str());
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, copy.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(spawned, 0) << std::strerror(spawned);
  int exitCode = test::WaitExit(pid);
  std::string report = test::ReadWhole(output);
  EXPECT_EQ(exitCode, 0) << report;
  EXPECT_NE(report.find("[  PASSED  ] 1 test."), std::string::npos) << report;
}

}  // namespace
}  // namespace veltra
