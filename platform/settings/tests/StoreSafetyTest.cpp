// The store under conditions that lose settings in careless code: read-only
// files, damaged files, several writing processes, a writer killed mid-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "platform/settings/RegistryTransaction.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "Software\\Orv\\Veltra\\Server\\Settings";

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::vector<fs::path> FilesStartingWith(const fs::path& directory, const std::string& prefix) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(directory))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  return found;
}

// Replaces the file under the store (a new inode, as another program would).
void ReplaceFile(const std::string& path, const std::string& content) {
  WriteFile(path + ".new", content);
  fs::rename(path + ".new", path);
}

TEST(StoreSafetyTest, ReadOnlyStoreOpensKeysForReadingAndRefusesWrites) {
  test::TempDir config(true);
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "ResetDelay", 40));
  fs::permissions(config.File("user.db"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(config.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

  std::string report = test::InChild(
      [] {
        test::ChildChecks check;
        Registry key(RegistryRoot::CurrentUser, kKey);
        check.Expect(key.IsOpen() && !key.IsWritable(), "key opens read-only");
        int32_t delay = 0;
        check.Expect(key.ReadInt("ResetDelay", delay) == RegistryStatus::Ok && delay == 40,
                     "stored value read");
        check.Expect(key.WriteInt("ResetDelay", 1) == RegistryStatus::NotWritable, "write refused");
        check.Expect(key.DeleteValue("ResetDelay") == RegistryStatus::NotWritable, "delete refused");
        check.Expect(Registry::DeleteKey(RegistryRoot::CurrentUser, kKey) == RegistryStatus::NotWritable,
                     "key delete refused");
        check.Expect(!WriteProfileInt(kSettingsSection, "ResetDelay", 2), "profile write reports failure");
        check.Expect(GetProfileInt(kSettingsSection, "ResetDelay", 0) == 40, "value unchanged");

        // The machine root has no file, and none can be made here.
        Registry machine(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_310\\Ctrl5610");
        check.Expect(machine.IsOpen() && !machine.IsWritable(), "missing store opens read-only");
        check.Expect(machine.ReadInt("xpos", delay) == RegistryStatus::Missing,
                     "missing store reads missing");
        check.Expect(machine.WriteInt("xpos", 5) == RegistryStatus::NotWritable,
                     "missing store refuses writes");

        test::ToolResult tool = test::RunTool({"set", kKey, "ResetDelay", "dword", "9"});
        check.Expect(tool.exitCode == 3, "veltra-settings set exits 3, got " + std::to_string(tool.exitCode));
        return check.Report();
      },
      true);
  EXPECT_EQ(report, "");
  EXPECT_FALSE(fs::exists(config.File("machine.db")));

  // A read-only file in a writable directory.
  fs::permissions(config.Path(), fs::perms::all);
  report = test::InChild(
      [] {
        test::ChildChecks check;
        Registry key(RegistryRoot::CurrentUser, kKey);
        check.Expect(!key.IsWritable(), "read-only file opens read-only");
        check.Expect(key.WriteString("RootKernel", "x") == RegistryStatus::NotWritable, "write refused");
        return check.Report();
      },
      true);
  EXPECT_EQ(report, "");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "ResetDelay", 0), 40);
}

TEST(StoreSafetyTest, FileThatIsNoDatabaseIsKeptAsideAndReplaced) {
  test::TempDir config(true);
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "MonGeneral", 1));
  const std::string garbage = "this is not a settings database\n";
  ReplaceFile(config.File("user.db"), garbage);

  testing::internal::CaptureStderr();
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonGeneral", 0), 0) << "the damaged values are gone";
  EXPECT_TRUE(WriteProfileInt(kSettingsSection, "MonGeneral", 1));
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonGeneral", 0), 1) << "the fresh store works";
  std::string messages = testing::internal::GetCapturedStderr();

  auto kept = FilesStartingWith(config.Path(), "user.db.corrupt-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(test::ReadWhole(kept[0].string()), garbage) << "never deleted";

  size_t first = messages.find("user.db is damaged");
  ASSERT_NE(first, std::string::npos) << messages;
  EXPECT_NE(messages.find(kept[0].string()), std::string::npos) << messages;
  EXPECT_EQ(messages.find("damaged", messages.find('\n', first)), std::string::npos)
      << "reported once: " << messages;
}

TEST(StoreSafetyTest, FileFailingTheIntegrityCheckIsKeptAsideAndReplaced) {
  test::TempDir config(true);
  Registry key(RegistryRoot::CurrentUser, kKey);
  RegistryTransaction transaction(RegistryRoot::CurrentUser);
  for (int i = 0; i < 200; ++i) key.WriteString("Value" + std::to_string(i), std::string(100, 'v'));
  ASSERT_EQ(transaction.Commit(), RegistryStatus::Ok);
  // Damage the second page (the first table's root) and leave the header sound.
  std::string content = test::ReadWhole(config.File("user.db"));
  ASSERT_GT(content.size(), 3 * 4096u);
  for (size_t i = 4096; i < 4096 + 64; ++i) content[i] = '\xff';
  ReplaceFile(config.File("user.db"), content);

  testing::internal::CaptureStderr();
  std::string text;
  RegistryStatus status = Registry(RegistryRoot::CurrentUser, kKey).ReadString("Value1", text);
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, RegistryStatus::Missing);
  EXPECT_NE(messages.find("damaged"), std::string::npos) << messages;
  auto kept = FilesStartingWith(config.Path(), "user.db.corrupt-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(test::ReadWhole(kept[0].string()), content);
  EXPECT_EQ(Registry(RegistryRoot::CurrentUser, kKey).WriteString("Value1", "new"), RegistryStatus::Ok);
}

// Damage done in place (same file) while the connection is open: the next
// statement meets it, the file is kept aside once and a fresh one serves the
// writes that follow, instead of every later call failing without a word.
TEST(StoreSafetyTest, FileDamagedUnderAnOpenConnectionIsKeptAsideAndReplaced) {
  test::TempDir config(true);
  Registry key(RegistryRoot::CurrentUser, kKey);
  ASSERT_EQ(key.WriteInt("MonGeneral", 1), RegistryStatus::Ok);
  std::string path = config.File("user.db");
  size_t size = fs::file_size(path);
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file << std::string(size, 'x');
  }

  testing::internal::CaptureStderr();
  int32_t value = 0;
  RegistryStatus damaged = key.ReadInt("MonGeneral", value);
  RegistryStatus written = key.WriteInt("MonGeneral", 2);
  RegistryStatus reread = key.ReadInt("MonGeneral", value);
  std::vector<RegistryValue> values;
  RegistryStatus listed = key.Values(values);
  std::string messages = testing::internal::GetCapturedStderr();

  EXPECT_EQ(damaged, RegistryStatus::Failed);
  EXPECT_EQ(written, RegistryStatus::Ok);
  EXPECT_EQ(reread, RegistryStatus::Ok);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(listed, RegistryStatus::Ok);
  EXPECT_EQ(values.size(), 1u);
  auto kept = FilesStartingWith(config.Path(), "user.db.corrupt-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(test::ReadWhole(kept[0].string()), std::string(size, 'x')) << "never deleted";
  size_t first = messages.find("user.db is damaged");
  ASSERT_NE(first, std::string::npos) << messages;
  EXPECT_EQ(messages.find("damaged", messages.find('\n', first)), std::string::npos)
      << "reported once: " << messages;
}

// A sound SQLite file whose tables are not the store's: kept aside like damage.
TEST(StoreSafetyTest, DatabaseOfAnotherLayoutIsKeptAsideAndReplaced) {
  for (const char* layout : {
           "CREATE VIEW keys AS SELECT 'a' AS path;"
           " CREATE TABLE entries (key, name, value, PRIMARY KEY (key, name));",
           "CREATE TABLE keys (path TEXT PRIMARY KEY); CREATE TABLE entries (key, name, data);",
           "CREATE TABLE keys (path TEXT); CREATE TABLE entries (key, name, value, PRIMARY KEY (key, name));",
       }) {
    test::TempDir config(true);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(config.File("user.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, layout, nullptr, nullptr, nullptr), SQLITE_OK) << layout;
    sqlite3_close(db);

    testing::internal::CaptureStderr();
    bool written = WriteProfileInt(kSettingsSection, "MonGeneral", 3);
    int read = GetProfileInt(kSettingsSection, "MonGeneral", -1);
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(written) << layout;
    EXPECT_EQ(read, 3) << layout;
    EXPECT_EQ(FilesStartingWith(config.Path(), "user.db.corrupt-").size(), 1u) << layout;
    size_t first = messages.find("user.db is damaged");
    EXPECT_NE(first, std::string::npos) << layout << ": " << messages;
    if (first != std::string::npos) {
      EXPECT_EQ(messages.find("damaged", messages.find('\n', first)), std::string::npos) << messages;
    }
  }
}

// A directory or a pipe where the file belongs: nothing is read or written,
// nothing blocks, and it is said once.
TEST(StoreSafetyTest, UserDatabaseThatIsNoRegularFileIsReportedOnce) {
  for (bool pipe : {false, true}) {
    test::TempDir config(true);
    std::string path = config.File("user.db");
    if (pipe)
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else
      ASSERT_TRUE(fs::create_directory(path));

    testing::internal::CaptureStderr();
    Registry key(RegistryRoot::CurrentUser, kKey);
    int32_t value = 0;
    RegistryStatus read = key.ReadInt("MonGeneral", value);
    RegistryStatus written = Registry(RegistryRoot::CurrentUser, kKey).WriteInt("MonGeneral", 1);
    std::string messages = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(key.IsWritable());
    EXPECT_EQ(read, RegistryStatus::Missing);
    EXPECT_EQ(written, RegistryStatus::NotWritable);
    size_t first = messages.find("user.db is not a regular file");
    EXPECT_NE(first, std::string::npos) << messages;
    EXPECT_EQ(messages.find("user.db", messages.find('\n', first)), std::string::npos)
        << "reported once: " << messages;
    EXPECT_EQ(pipe ? fs::is_fifo(path) : fs::is_directory(path), true) << "left in place";
  }
}

TEST(StoreSafetyTest, ProcessesWritingAtOnceLoseNoValue) {
  test::TempDir config(true);
  constexpr int kChildren = 3;
  constexpr int kEach = 40;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        if (!WriteProfileInt(kSettingsSection, "P" + std::to_string(c) + "_" + std::to_string(i), i))
          ++failures;
        if (!WriteProfileString(kSettingsSection, "Shared", std::to_string(c))) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  // veltra-settings processes join in at the same time.
  std::vector<pid_t> tools;
  for (int t = 0; t < 24; ++t)
    tools.push_back(test::SpawnTool({"set", kKey, "Tool" + std::to_string(t), "string", std::to_string(t)}));
  for (pid_t pid : children) EXPECT_EQ(test::WaitExit(pid), 0);
  for (pid_t pid : tools) EXPECT_EQ(test::WaitExit(pid), 0);

  Registry key(RegistryRoot::CurrentUser, kKey);
  EXPECT_EQ(key.Values().size(), size_t(kChildren * kEach + 1 + 24));
  for (int c = 0; c < kChildren; ++c)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(GetProfileInt(kSettingsSection, "P" + std::to_string(c) + "_" + std::to_string(i), -1), i);
  for (int t = 0; t < 24; ++t)
    EXPECT_EQ(GetProfileString(kSettingsSection, "Tool" + std::to_string(t), ""), std::to_string(t));
}

TEST(StoreSafetyTest, WriterKilledMidwayLeavesOnlyWholeValues) {
  test::TempDir config(true);
  constexpr size_t kSize = 30000;  // several pages per value
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Registry key(RegistryRoot::CurrentUser, kKey);
    for (int round = 0;; ++round)
      for (int i = 0; i < 10; ++i)
        key.WriteString("Big" + std::to_string(i), std::string(kSize, char('a' + round % 26)));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGKILL);
  EXPECT_EQ(test::WaitExit(pid), -1);

  testing::internal::CaptureStderr();
  Registry key(RegistryRoot::CurrentUser, kKey);
  int whole = 0;
  for (int i = 0; i < 10; ++i) {
    std::string text;
    if (key.ReadString("Big" + std::to_string(i), text) != RegistryStatus::Ok) continue;
    ASSERT_EQ(text.size(), kSize);
    EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos) << "value " << i << " is mixed";
    ++whole;
  }
  EXPECT_GT(whole, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no damage found";
  EXPECT_TRUE(FilesStartingWith(config.Path(), "user.db.corrupt-").empty());
  EXPECT_EQ(key.WriteString("Big0", "after"), RegistryStatus::Ok);
}

}  // namespace
}  // namespace veltra
