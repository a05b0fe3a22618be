#include <gtest/gtest.h>
#include <strings.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/RecordingUi.h"
#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "tests/support/StoreLock.h"
#include "tests/support/TempDir.h"
#include "veltra/OptionsManager.h"
#include "veltra/OptionsRecord.h"

extern "C" veltra::OptionsManager* GetOptionsManager();
extern "C" void CloseOptionsManager();

namespace veltra {
namespace {

constexpr const char* kKey = "Software\\Orv\\Veltra\\Server\\Settings";

class OptionsManagerTest : public testing::Test {
 protected:
  void SetUp() override { Ui::Install(&ui_); }
  void TearDown() override {
    CloseOptionsManager();
    Ui::Install(nullptr);
  }
  Registry Settings() { return Registry(RegistryRoot::CurrentUser, kKey); }

  test::TempDir config_{true};
  RecordingUi ui_;
};

// The fields of a stream other than its Handle, which belongs to the engine.
void ExpectStream(const StreamOptions& stream, int isInput, const char* name) {
  EXPECT_EQ(stream.IsInput, isInput) << name;
  ASSERT_NE(stream.Name, nullptr);
  EXPECT_STREQ(stream.Name, name);
  EXPECT_EQ(stream.Log, 1) << name;
  EXPECT_EQ(stream.Append, 0) << name;
  EXPECT_EQ(stream.Merge, 0) << name;
  EXPECT_EQ(stream.File, 0) << name;
  EXPECT_STREQ(stream.Filename, "") << name;
}

// Every field but the four the engine owns (the stream handles and the
// semaphore target).
void ExpectDefaultsOutsideTheEngineFields(const OptionsRecord& r) {
  EXPECT_EQ(r.MonGeneral, 0);
  EXPECT_EQ(r.MonLink, 0);
  EXPECT_EQ(r.MonProt, 0);
  EXPECT_EQ(r.MonUser, 0);
  EXPECT_EQ(r.Debug, 0);
  EXPECT_EQ(r.Alone, 0);
  EXPECT_EQ(r.AutoRun, 1);
  EXPECT_EQ(r.RunOnSelect, 1);
  EXPECT_EQ(r.SayStop, 1);
  EXPECT_EQ(r.C4x, 0);
  EXPECT_EQ(r.InhibitReset, 0);
  EXPECT_EQ(r.SemaphoreNumber, 0);
  EXPECT_EQ(r.MultipleInst, 0);
  EXPECT_EQ(r.ExitOnStop, 0);
  EXPECT_EQ(r.ClearOnStart, 1);
  EXPECT_EQ(r.ResetDelay, 0);
  ExpectStream(r.StdIn, 1, "stdin");
  ExpectStream(r.StdOut, 0, "stdout");
  ExpectStream(r.StdErr, 0, "stderr");
  EXPECT_STREQ(r.RootKernel, "TIM40.KRN");
  EXPECT_STREQ(r.CommandLine, "");
  EXPECT_STREQ(r.FileRoot, "");
  EXPECT_EQ(r.AllowHostCommands, 1);
}

void ExpectDefaults(const OptionsRecord& r) {
  ExpectDefaultsOutsideTheEngineFields(r);
  EXPECT_EQ(r.StdIn.Handle, nullptr);
  EXPECT_EQ(r.StdOut.Handle, nullptr);
  EXPECT_EQ(r.StdErr.Handle, nullptr);
  EXPECT_EQ(r.SemaphoreTarget, nullptr);
}

TEST_F(OptionsManagerTest, FirstStartGivesTheDefaultsAndSavingLaysThemDownInOrder) {
  OptionsManager* manager = GetOptionsManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(GetOptionsManager(), manager) << "one manager per process";
  ExpectDefaults(*manager->GetOptions());
  EXPECT_TRUE(Settings().Values().empty()) << "loading writes nothing";

  manager->SaveOptions();
  std::vector<std::string> names;
  for (const auto& value : Settings().Values()) {
    names.push_back(value.name);
    bool text = value.name.find("Filename") != std::string::npos || value.name == "RootKernel" ||
                value.name == "CommandLine" || value.name == "FileRoot";
    EXPECT_EQ(value.type, text ? RegistryType::String : RegistryType::Dword) << value.name;
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "MonGeneral",    "MonLink",        "MonProt",      "MonUser",         "Debug",
                "Alone",         "AutoRun",        "RunOnSelect",  "ClearOnStart",    "SayStop",
                "C4x",           "InhibitReset",   "MultipleInst", "ResetDelay",      "StdIn_Log",
                "StdIn_File",    "StdIn_Filename", "StdOut_Log",   "StdOut_File",     "StdOut_Filename",
                "StdOut_Append", "StdErr_Log",     "StdErr_File",  "StdErr_Filename", "StdErr_Append",
                "Stderr_Merge",  "RootKernel",     "CommandLine",  "FileRoot",        "AllowHostCommands"}));
  EXPECT_EQ(GetProfileString(kSettingsSection, "RootKernel"), "TIM40.KRN");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "SayStop", -1), 1);
}

TEST_F(OptionsManagerTest, StderrMergeIsOneValueWhateverItsSpelling) {
  ASSERT_EQ(Settings().WriteInt("Stderr_Merge", 1), RegistryStatus::Ok);
  OptionsRecord* record = GetOptionsManager()->GetOptions();
  EXPECT_EQ(record->StdErr.Merge, 1);
  EXPECT_EQ(record->StdOut.Merge, 0);

  record->StdErr.Merge = 0;
  GetOptionsManager()->SaveOptions();
  int merges = 0;
  for (const auto& value : Settings().Values())
    if (strcasecmp(value.name.c_str(), "StdErr_Merge") == 0) {
      ++merges;
      EXPECT_EQ(value.Dword(), 0u);
    }
  EXPECT_EQ(merges, 1);
}

TEST_F(OptionsManagerTest, ResetKeepsTheEnginesFilesAndSemaphoreTarget) {
  OptionsManager* manager = GetOptionsManager();
  OptionsRecord* record = manager->GetOptions();
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  auto* target = reinterpret_cast<RequestChannel*>(&ui_);  // any address: it is only kept
  record->StdIn.Handle = in;
  record->StdOut.Handle = out;
  record->StdErr.Handle = err;
  manager->SetSemaphoreTarget(target);
  record->MonLink = 1;
  record->SemaphoreNumber = 6;
  record->ExitOnStop = 1;
  record->StdErr.Merge = 1;
  std::strcpy(record->RootKernel, "custom.krn");
  std::strcpy(record->CommandLine, "-n 4");
  manager->SaveOptions();

  manager->ResetOptions();
  EXPECT_EQ(manager->GetOptions(), record) << "the live record, not a copy";
  EXPECT_EQ(record->StdIn.Handle, in);
  EXPECT_EQ(record->StdOut.Handle, out);
  EXPECT_EQ(record->StdErr.Handle, err);
  EXPECT_EQ(record->SemaphoreTarget, target);
  EXPECT_EQ(record->MonLink, 0);
  EXPECT_EQ(record->SemaphoreNumber, 0);
  EXPECT_EQ(record->ExitOnStop, 0);
  EXPECT_EQ(record->StdErr.Merge, 0);
  EXPECT_STREQ(record->RootKernel, "TIM40.KRN");
  EXPECT_STREQ(record->CommandLine, "");
  EXPECT_EQ(std::fputs("still open\n", out), 1) << "the engine's file is untouched";
  // ...and the defaults are what is stored now.
  EXPECT_EQ(GetProfileString(kSettingsSection, "RootKernel"), "TIM40.KRN");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonLink", -1), 0);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "StdErr_Merge", -1), 0);

  record->StdIn.Handle = record->StdOut.Handle = record->StdErr.Handle = nullptr;
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
}

// Every field the user can change is set away from its default, the engine's
// four to values only the engine would store; a reset restores the first
// completely and leaves the others as they are. (The engine writes its fields
// on its own thread while a reset may run: the reset must not write them at
// all, which no single-threaded test can see; this one checks the outcome.)
TEST_F(OptionsManagerTest, ResetRestoresEveryOtherFieldAndLeavesTheEnginesFourAlone) {
  OptionsManager* manager = GetOptionsManager();
  OptionsRecord* r = manager->GetOptions();
  for (int32_t* field :
       {&r->MonGeneral, &r->MonLink, &r->MonProt, &r->MonUser, &r->Debug, &r->Alone, &r->AutoRun,
        &r->RunOnSelect, &r->SayStop, &r->C4x, &r->InhibitReset, &r->SemaphoreNumber, &r->MultipleInst,
        &r->ClearOnStart, &r->ResetDelay, &r->AllowHostCommands})
    *field = 7;
  r->ExitOnStop = 7;
  for (StreamOptions* stream : {&r->StdIn, &r->StdOut, &r->StdErr}) {
    stream->Log = stream->Append = stream->Merge = stream->File = 7;
    std::memset(stream->Filename, 'f', sizeof stream->Filename - 1);
  }
  std::memset(r->RootKernel, 'k', sizeof r->RootKernel - 1);
  std::memset(r->CommandLine, 'c', sizeof r->CommandLine - 1);
  std::memset(r->FileRoot, 'r', sizeof r->FileRoot - 1);
  auto* in = reinterpret_cast<std::FILE*>(0x1110);
  auto* out = reinterpret_cast<std::FILE*>(0x2220);
  auto* err = reinterpret_cast<std::FILE*>(0x3330);
  auto* target = reinterpret_cast<RequestChannel*>(0x4440);
  r->StdIn.Handle = in;
  r->StdOut.Handle = out;
  r->StdErr.Handle = err;
  manager->SetSemaphoreTarget(target);
  manager->SaveOptions();

  manager->ResetOptions();
  ExpectDefaultsOutsideTheEngineFields(*r);
  // Whole fields, not only up to the first zero.
  const OptionsRecord& d = kDefaultOptions;
  EXPECT_EQ(std::memcmp(r->RootKernel, d.RootKernel, sizeof r->RootKernel), 0);
  EXPECT_EQ(std::memcmp(r->CommandLine, d.CommandLine, sizeof r->CommandLine), 0);
  EXPECT_EQ(std::memcmp(r->FileRoot, d.FileRoot, sizeof r->FileRoot), 0);
  for (const StreamOptions* stream : {&r->StdIn, &r->StdOut, &r->StdErr})
    EXPECT_EQ(std::memcmp(stream->Filename, d.StdIn.Filename, sizeof stream->Filename), 0) << stream->Name;
  EXPECT_EQ(r->StdIn.Handle, in);
  EXPECT_EQ(r->StdOut.Handle, out);
  EXPECT_EQ(r->StdErr.Handle, err);
  EXPECT_EQ(r->SemaphoreTarget, target);

  // What the reset stored is the defaults too.
  CloseOptionsManager();
  ExpectDefaults(*GetOptionsManager()->GetOptions());
}

TEST_F(OptionsManagerTest, ClosingForgetsTheManagerAndTheNextOneLoadsFromTheStore) {
  CloseOptionsManager();  // none yet: nothing happens
  OptionsManager* first = GetOptionsManager();
  first->GetOptions()->Debug = 1;
  first->GetOptions()->ResetDelay = 750;
  std::strcpy(first->GetOptions()->StdIn.Filename, "input.txt");
  first->SaveOptions();
  first->GetOptions()->Alone = 1;  // not saved
  CloseOptionsManager();
  CloseOptionsManager();

  OptionsManager* second = GetOptionsManager();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->GetOptions()->Debug, 1);
  EXPECT_EQ(second->GetOptions()->ResetDelay, 750);
  EXPECT_STREQ(second->GetOptions()->StdIn.Filename, "input.txt");
  EXPECT_EQ(second->GetOptions()->Alone, 0);

  // Destroy also forgets the instance: the next call must not hand out freed memory.
  second->Destroy();
  OptionsManager* third = GetOptionsManager();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->GetOptions()->ResetDelay, 750);
}

TEST_F(OptionsManagerTest, FileRootAndHostCommandSwitchArePersistedAndReset) {
  OptionsManager* manager = GetOptionsManager();
  std::strcpy(manager->GetOptions()->FileRoot, "/srv/dsp files");
  manager->GetOptions()->AllowHostCommands = 0;
  manager->SaveOptions();
  EXPECT_EQ(GetProfileString(kSettingsSection, "FileRoot"), "/srv/dsp files");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "AllowHostCommands", -1), 0);
  CloseOptionsManager();

  OptionsRecord* record = GetOptionsManager()->GetOptions();
  EXPECT_STREQ(record->FileRoot, "/srv/dsp files");
  EXPECT_EQ(record->AllowHostCommands, 0);
  GetOptionsManager()->ResetOptions();
  EXPECT_STREQ(record->FileRoot, "");
  EXPECT_EQ(record->AllowHostCommands, 1);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "AllowHostCommands", -1), 1);
  CloseOptionsManager();

  // A stored root longer than the field is cut inside it; the switch after it keeps its value.
  Settings().WriteString("FileRoot", "/" + std::string(400, 'r'));
  Settings().WriteInt("AllowHostCommands", 0);
  record = GetOptionsManager()->GetOptions();
  EXPECT_EQ(std::string(record->FileRoot), "/" + std::string(258, 'r'));
  EXPECT_EQ(record->AllowHostCommands, 0);
}

TEST_F(OptionsManagerTest, OverlongAndWronglyTypedStoredValuesStayInsideTheirFields) {
  Registry settings = Settings();
  settings.WriteString("RootKernel", std::string(400, 'k'));
  settings.WriteString("StdOut_Filename", std::string(259, 'o'));
  settings.WriteString("StdErr_Filename", std::string(260, 'e'));
  // 253 characters, then a two-byte character that the cut at 254 would split.
  settings.WriteString("CommandLine", std::string(253, 'c') + "\xc3\xa9" + std::string(40, 'x'));
  settings.WriteString("MonGeneral", "1");
  settings.WriteBinary("AutoRun", "\0\0\0\0", 4);
  settings.WriteInt("StdIn_Filename", 12);
  settings.WriteInt("StdIn_IsInput", 0);
  settings.WriteInt("monlink", 1);  // names match whatever their case
  settings.WriteInt("STDOUT_APPEND", 1);
  settings.WriteString("fileroot", "/srv");

  OptionsRecord* record = GetOptionsManager()->GetOptions();
  EXPECT_EQ(std::string(record->RootKernel), std::string(259, 'k'));
  EXPECT_EQ(std::string(record->StdOut.Filename), std::string(259, 'o'));
  EXPECT_EQ(std::string(record->StdErr.Filename), std::string(259, 'e'));
  EXPECT_EQ(std::string(record->CommandLine), std::string(253, 'c'));
  EXPECT_EQ(record->SemaphoreTarget, nullptr) << "nothing ran past CommandLine";
  EXPECT_EQ(record->MonGeneral, 0) << "a string is no number";
  EXPECT_EQ(record->AutoRun, 1);
  EXPECT_STREQ(record->StdIn.Filename, "");
  EXPECT_EQ(record->StdIn.IsInput, 1);
  EXPECT_STREQ(record->StdIn.Name, "stdin");
  EXPECT_STREQ(record->StdErr.Name, "stderr");
  EXPECT_EQ(record->MonLink, 1);
  EXPECT_EQ(record->StdOut.Append, 1);
  EXPECT_STREQ(record->FileRoot, "/srv");
}

// Another process holds the store in an exclusive transaction for longer than
// the store waits: loading waits once and gives the defaults, not minutes of
// waits ending in a mix of stored values and defaults.
TEST_F(OptionsManagerTest, StoreLockedByAnotherProcessGivesTheDefaultsAfterOneWait) {
  Registry settings = Settings();
  settings.WriteInt("MonGeneral", 1);
  settings.WriteInt("ResetDelay", 5);
  settings.WriteString("CommandLine", "stored");
  settings.WriteInt("AllowHostCommands", 0);
  // Held for longer than the store waits, with room for a slow start.
  test::StoreLock lock(Registry::DatabasePath(RegistryRoot::CurrentUser), 14);
  bool tookLock = lock.WaitUntilHeld();

  auto start = std::chrono::steady_clock::now();
  OptionsManager* manager = tookLock ? GetOptionsManager() : nullptr;
  auto waited = std::chrono::steady_clock::now() - start;
  bool committed = lock.Finish();
  ASSERT_TRUE(tookLock) << "the shell never took the lock";
  EXPECT_TRUE(committed) << "the shell's transaction failed";
  ASSERT_NE(manager, nullptr);
  EXPECT_LT(waited, std::chrono::seconds(25));
  ExpectDefaults(*manager->GetOptions());
  std::printf("loading under the lock took %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));

  // Nothing was lost: once the lock is gone the stored values load again.
  CloseOptionsManager();
  OptionsRecord* record = GetOptionsManager()->GetOptions();
  EXPECT_EQ(record->MonGeneral, 1);
  EXPECT_EQ(record->ResetDelay, 5);
  EXPECT_STREQ(record->CommandLine, "stored");
  EXPECT_EQ(record->AllowHostCommands, 0);
}

TEST_F(OptionsManagerTest, OptionsSurviveARestartAndTheToolShowsAndEditsThem) {
  std::string report = test::InChild([] {
    OptionsManager* manager = GetOptionsManager();
    manager->GetOptions()->MonProt = 1;
    manager->GetOptions()->ResetDelay = 500;
    std::strcpy(manager->GetOptions()->StdOut.Filename, "run log.txt");
    manager->SaveOptions();
    return std::string();
  });
  ASSERT_EQ(report, "");

  EXPECT_EQ(test::RunTool({"get", kKey, "ResetDelay"}).out, "500\n");
  EXPECT_EQ(test::RunTool({"get", kKey, "stdout_filename"}).out, "run log.txt\n");
  ASSERT_EQ(test::RunTool({"set", kKey, "StdErr_Merge", "dword", "1"}).exitCode, 0);
  ASSERT_EQ(test::RunTool({"set", kKey, "CommandLine", "string", "-v data.bin"}).exitCode, 0);

  OptionsRecord* record = GetOptionsManager()->GetOptions();
  EXPECT_EQ(record->MonProt, 1);
  EXPECT_EQ(record->ResetDelay, 500);
  EXPECT_STREQ(record->StdOut.Filename, "run log.txt");
  EXPECT_EQ(record->StdErr.Merge, 1);
  EXPECT_STREQ(record->CommandLine, "-v data.bin");
  std::string listing = test::RunTool({"list", kKey}).out;
  EXPECT_NE(listing.find("Stderr_Merge\tdword\t1\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("StdErr_Merge"), std::string::npos) << "one value, first spelling kept";
}

TEST_F(OptionsManagerTest, DamagedOrReadOnlyStoreStillGivesARecord) {
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "C4x", 1));
  // Read-only: the stored options load, saving and resetting change only the record.
  std::filesystem::permissions(config_.Path(),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                   std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::string report = test::InChild(
      [] {
        test::ChildChecks check;
        OptionsManager* manager = GetOptionsManager();
        check.Expect(manager && manager->GetOptions()->C4x == 1, "stored value loaded");
        manager->GetOptions()->C4x = 0;
        manager->SaveOptions();
        manager->ResetOptions();
        check.Expect(std::strcmp(manager->GetOptions()->RootKernel, "TIM40.KRN") == 0, "record reset");
        check.Expect(GetProfileInt(kSettingsSection, "C4x", 0) == 1, "store unchanged");
        return check.Report();
      },
      true);
  EXPECT_EQ(report, "");
  std::filesystem::permissions(config_.Path(), std::filesystem::perms::all);

  // Damaged: a fresh store, so the defaults.
  {
    std::ofstream damage(config_.File("user.db.new"), std::ios::binary);
    damage << std::string(5000, '\x5a');
  }
  std::filesystem::rename(config_.File("user.db.new"), config_.File("user.db"));
  testing::internal::CaptureStderr();
  ExpectDefaults(*GetOptionsManager()->GetOptions());
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("damaged"), std::string::npos);
}

// A process without a window system (this test has none) is told why it gets
// no sheet, and nothing is saved.
TEST_F(OptionsManagerTest, OptionsSheetWithoutAWindowSystemSaysWhy) {
  GetOptionsManager()->ShowOptionsSheet();
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The options sheet cannot be shown: no window system");
  EXPECT_EQ(boxes[0].caption, "Options");
  EXPECT_TRUE(Settings().Values().empty());
}

}  // namespace
}  // namespace veltra
