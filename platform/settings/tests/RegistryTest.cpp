#include "platform/settings/Registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/settings/Profile.h"
#include "platform/settings/RegistryTransaction.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "Software\\Orv\\Veltra\\Server\\Settings";

TEST(RegistryTest, ValuesKeepTheirTypesAndSizes) {
  test::TempDir config(true);
  Registry key(RegistryRoot::CurrentUser, "SOFTWARE\\Orv Limited\\Plexa_301\\Spectrum");
  ASSERT_TRUE(key.IsWritable());

  EXPECT_EQ(key.WriteInt("Left", -1), RegistryStatus::Ok);
  EXPECT_EQ(key.WriteString("Title", "Spectrum\tof \xc3\xa9 input"), RegistryStatus::Ok);
  EXPECT_EQ(key.WriteString("Empty", ""), RegistryStatus::Ok);
  float minimum = -2.5f;
  EXPECT_EQ(key.WriteBinary("XMin", &minimum, sizeof minimum), RegistryStatus::Ok);
  EXPECT_EQ(key.WriteBinary("Nothing", nullptr, 0), RegistryStatus::Ok);

  uint32_t dword = 0;
  int32_t number = 0;
  EXPECT_EQ(key.ReadDword("Left", dword), RegistryStatus::Ok);
  EXPECT_EQ(dword, 0xFFFFFFFFu);
  EXPECT_EQ(key.ReadInt("Left", number), RegistryStatus::Ok);
  EXPECT_EQ(number, -1);
  std::string text = "unchanged";
  EXPECT_EQ(key.ReadString("Title", text), RegistryStatus::Ok);
  EXPECT_EQ(text, "Spectrum\tof \xc3\xa9 input");
  EXPECT_EQ(key.ReadString("Empty", text), RegistryStatus::Ok);
  EXPECT_EQ(text, "");
  float read = 0;
  EXPECT_EQ(key.ReadBinary("XMin", &read, sizeof read), RegistryStatus::Ok);
  EXPECT_EQ(read, -2.5f);
  std::vector<unsigned char> bytes{1, 2, 3};
  EXPECT_EQ(key.ReadBinary("Nothing", bytes), RegistryStatus::Ok) << "an empty binary value is still present";
  EXPECT_TRUE(bytes.empty());

  // Wrong type or size, and missing, leave the destination alone.
  number = 7;
  EXPECT_EQ(key.ReadInt("Title", number), RegistryStatus::WrongType);
  EXPECT_EQ(key.ReadInt("XMin", number), RegistryStatus::WrongType);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(key.ReadString("Left", text), RegistryStatus::WrongType);
  double wide = 0;
  EXPECT_EQ(key.ReadBinary("XMin", &wide, sizeof wide), RegistryStatus::WrongType);
  EXPECT_EQ(key.ReadBinary("Left", bytes), RegistryStatus::WrongType);
  EXPECT_EQ(key.ReadInt("Top", number), RegistryStatus::Missing);
  EXPECT_EQ(number, 7);

  // A value written again with another type takes the new type.
  EXPECT_EQ(key.WriteString("Left", "12"), RegistryStatus::Ok);
  EXPECT_EQ(key.ReadInt("Left", number), RegistryStatus::WrongType);
  RegistryValue value;
  EXPECT_EQ(key.Query("Left", value), RegistryStatus::Ok);
  EXPECT_EQ(value.type, RegistryType::String);
}

TEST(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  test::TempDir config(true);
  Registry writer(RegistryRoot::CurrentUser, "software\\orv\\veltra\\server\\settings");
  ASSERT_EQ(writer.WriteInt("Stderr_Merge", 1), RegistryStatus::Ok);

  Registry reader(RegistryRoot::CurrentUser, "\\Software\\\\Orv\\Veltra\\Server\\Settings\\");
  EXPECT_EQ(reader.Path(), kKey);
  int32_t merge = 0;
  EXPECT_EQ(reader.ReadInt("StdErr_Merge", merge), RegistryStatus::Ok);
  EXPECT_EQ(merge, 1);

  ASSERT_EQ(reader.WriteInt("STDERR_MERGE", 0), RegistryStatus::Ok);
  auto values = reader.Values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Stderr_Merge");
  EXPECT_EQ(values[0].Dword(), 0u);

  Registry parent(RegistryRoot::CurrentUser, "SOFTWARE\\ORV\\VELTRA\\SERVER");
  EXPECT_EQ(parent.Subkeys(), std::vector<std::string>{"settings"});
}

TEST(RegistryTest, EnumeratesAndDeletesKeysWithTheirSubkeysOnly) {
  test::TempDir config(true);
  Registry(RegistryRoot::CurrentUser, "A\\B\\C").WriteInt("deep", 3);
  Registry(RegistryRoot::CurrentUser, "A\\B").WriteString("mid", "m");
  Registry(RegistryRoot::CurrentUser, "A\\b2").WriteInt("other", 2);
  // Siblings whose names begin like the deleted key, or hold LIKE wildcards.
  Registry(RegistryRoot::CurrentUser, "A\\B_").WriteInt("kept", 1);
  Registry(RegistryRoot::CurrentUser, "AB").WriteInt("kept", 1);
  Registry a(RegistryRoot::CurrentUser, "a");

  EXPECT_EQ(Registry(RegistryRoot::CurrentUser, "").Subkeys(), (std::vector<std::string>{"A", "AB"}));
  EXPECT_EQ(a.Subkeys(), (std::vector<std::string>{"B", "b2", "B_"}));

  Registry b(RegistryRoot::CurrentUser, "A\\B");
  b.WriteInt("second", 2);
  b.WriteInt("third", 3);
  b.WriteString("MID", "again");
  auto values = b.Values();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "mid") << "values come in the order they were first written";
  EXPECT_EQ(values[0].String(), "again");
  EXPECT_EQ(values[1].name, "second");
  EXPECT_EQ(values[2].name, "third");

  EXPECT_EQ(b.DeleteValue("Second"), RegistryStatus::Ok);
  EXPECT_EQ(b.DeleteValue("second"), RegistryStatus::Missing);
  EXPECT_EQ(b.Values().size(), 2u);

  EXPECT_EQ(a.DeleteSubkey("b"), RegistryStatus::Ok);
  EXPECT_FALSE(Registry::KeyExists(RegistryRoot::CurrentUser, "A\\B"));
  EXPECT_FALSE(Registry::KeyExists(RegistryRoot::CurrentUser, "A\\B\\C"));
  Registry gone;
  EXPECT_FALSE(gone.Open(RegistryRoot::CurrentUser, "A\\B\\C", Registry::Disposition::ExistingOnly));
  int32_t number = 0;
  EXPECT_EQ(Registry(RegistryRoot::CurrentUser, "A\\B\\C").ReadInt("deep", number), RegistryStatus::Missing)
      << "the values went with the key";
  EXPECT_EQ(Registry::DeleteKey(RegistryRoot::CurrentUser, "A\\B"), RegistryStatus::Ok);  // made again above

  EXPECT_EQ(a.Subkeys(), (std::vector<std::string>{"b2", "B_"}));
  EXPECT_EQ(Registry(RegistryRoot::CurrentUser, "A\\B_").ReadInt("kept", number), RegistryStatus::Ok);
  EXPECT_EQ(Registry(RegistryRoot::CurrentUser, "AB").ReadInt("kept", number), RegistryStatus::Ok);

  EXPECT_EQ(Registry::DeleteKey(RegistryRoot::CurrentUser, "A\\Nothing"), RegistryStatus::Missing);
  EXPECT_EQ(Registry::DeleteKey(RegistryRoot::CurrentUser, "\\"), RegistryStatus::Failed);
  EXPECT_TRUE(Registry::KeyExists(RegistryRoot::CurrentUser, "A"));
}

TEST(RegistryTest, RootsAreSeparateFilesInTheConfigurationDirectory) {
  test::TempDir config(true);
  EXPECT_EQ(Registry::DatabasePath(RegistryRoot::CurrentUser), config.File("user.db"));
  EXPECT_EQ(Registry::DatabasePath(RegistryRoot::LocalMachine), config.File("machine.db"));
  Registry(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Orv Veltra")
      .WriteString("Veltra", "/opt/veltra/");
  EXPECT_TRUE(fs::exists(config.File("machine.db")));
  std::string text;
  EXPECT_EQ(
      Registry(RegistryRoot::CurrentUser, "SOFTWARE\\Orv Limited\\Orv Veltra").ReadString("Veltra", text),
      RegistryStatus::Missing);

  // Without VELTRA_CONFIG_DIR: $XDG_CONFIG_HOME/veltra, else ~/.config/veltra; made when missing.
  const char* home = std::getenv("HOME");
  std::string oldHome = home ? home : "";
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string oldXdg = xdg ? xdg : "";
  unsetenv("VELTRA_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", config.File("xdg").c_str(), 1);
  EXPECT_EQ(Registry::DatabasePath(RegistryRoot::CurrentUser), config.File("xdg") + "/veltra/user.db");
  EXPECT_TRUE(WriteProfileInt(kSettingsSection, "MonLink", 1));
  EXPECT_TRUE(fs::exists(config.File("xdg") + "/veltra/user.db"));
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", config.File("home").c_str(), 1);
  EXPECT_EQ(Registry::ConfigDirectory(), config.File("home") + "/.config/veltra");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonLink", 0), 0) << "another directory, another store";

  // A relative directory stays where it was first found when the current directory changes.
  auto previous = fs::current_path();
  fs::current_path(config.Path());
  setenv("VELTRA_CONFIG_DIR", "relative/settings", 1);
  EXPECT_TRUE(WriteProfileInt(kSettingsSection, "MonLink", 2));
  fs::current_path(config.File("home"));
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonLink", 0), 2);
  fs::current_path(previous);
  EXPECT_TRUE(fs::exists(config.File("relative/settings/user.db")));

  setenv("VELTRA_CONFIG_DIR", config.Path().c_str(), 1);
  if (home) setenv("HOME", oldHome.c_str(), 1);
  if (xdg) setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
}

TEST(RegistryTest, ProfileHelpersUseTheSettingsSectionAndFallBackOnBadValues) {
  test::TempDir config(true);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "ResetDelay", 250), 250);
  EXPECT_EQ(GetProfileString(kSettingsSection, "RootKernel", "TIM40.KRN"), "TIM40.KRN");
  EXPECT_FALSE(Registry::KeyExists(RegistryRoot::CurrentUser, kKey)) << "reading creates nothing";

  EXPECT_TRUE(WriteProfileInt(kSettingsSection, "ResetDelay", 100));
  EXPECT_TRUE(WriteProfileString(kSettingsSection, "RootKernel", "boot.krn"));
  Registry key(RegistryRoot::CurrentUser, kKey);
  uint32_t delay = 0;
  EXPECT_EQ(key.ReadDword("resetdelay", delay), RegistryStatus::Ok);
  EXPECT_EQ(delay, 100u);
  EXPECT_EQ(GetProfileString(kSettingsSection, "ROOTKERNEL", ""), "boot.krn");

  // A value of the wrong type counts as missing.
  key.WriteString("ResetDelay", "100");
  key.WriteInt("RootKernel", 5);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "ResetDelay", -3), -3);
  EXPECT_EQ(GetProfileString(kSettingsSection, "RootKernel", "TIM40.KRN"), "TIM40.KRN");

  EXPECT_TRUE(WriteProfileInt("Recent File List", "File1", 4));
  EXPECT_EQ(GetProfileInt("Recent File List", "File1", 0), 4);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "File1", 0), 0);
}

TEST(RegistryTest, ThreadsOfOneProcessShareTheConnection) {
  test::TempDir config(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        WriteProfileInt(kSettingsSection, "T" + std::to_string(t) + "_" + std::to_string(i), i);
        GetProfileInt(kSettingsSection, "T0_0", -1);
      }
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i)
      EXPECT_EQ(GetProfileInt(kSettingsSection, "T" + std::to_string(t) + "_" + std::to_string(i), -1), i);
}

TEST(RegistryTest, TransactionStoresAllOrNothing) {
  test::TempDir config(true);
  {
    RegistryTransaction abandoned(RegistryRoot::CurrentUser);
    ASSERT_EQ(abandoned.Status(), RegistryStatus::Ok);
    EXPECT_TRUE(WriteProfileInt(kSettingsSection, "BoardSelect_Index", 3));
    EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -1), 3) << "seen inside";
  }
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -1), -1) << "undone without Commit";

  RegistryTransaction transaction(RegistryRoot::CurrentUser);
  WriteProfileInt(kSettingsSection, "BoardSelect_Index", 1);
  WriteProfileString(kSettingsSection, "BoardSelect_Dll", "Cedar_Orv.dll");
  // Another thread waits for the whole transaction; another process reads the old state.
  std::atomic<bool> written{false};
  std::thread other([&] {
    WriteProfileInt(kSettingsSection, "MonUser", 1);
    written = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(written);
  EXPECT_EQ(test::RunTool({"get", kKey, "BoardSelect_Dll"}).exitCode, 1);
  EXPECT_EQ(transaction.Commit(), RegistryStatus::Ok);
  other.join();
  EXPECT_EQ(test::RunTool({"get", kKey, "BoardSelect_Dll"}).out, "Cedar_Orv.dll\n");
  EXPECT_EQ(GetProfileInt(kSettingsSection, "BoardSelect_Index", -1), 1);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "MonUser", 0), 1);
}

// SQLite may roll a whole transaction back by itself when one statement fails
// (disk full, I/O error, busy); a trigger raising ROLLBACK does the same on
// demand. Nothing of the group may be stored then, not even the writes after
// the failed one.
TEST(RegistryTest, WriteGroupWithAFailedWriteStoresNothing) {
  test::TempDir config(true);
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "Before", 1));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Registry::DatabasePath(RegistryRoot::CurrentUser).c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "CREATE TRIGGER refuse BEFORE INSERT ON entries WHEN NEW.name = 'Fail'"
                         " BEGIN SELECT RAISE(ROLLBACK, 'refused'); END",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  {
    RegistryTransaction transaction(RegistryRoot::CurrentUser);
    ASSERT_EQ(transaction.Status(), RegistryStatus::Ok);
    EXPECT_TRUE(WriteProfileInt(kSettingsSection, "First", 1));
    EXPECT_FALSE(WriteProfileInt(kSettingsSection, "Fail", 2));
    EXPECT_FALSE(WriteProfileInt(kSettingsSection, "Third", 3))
        << "a write after the failure reported success";
    EXPECT_FALSE(WriteProfileString("Other", "Fourth", "4"));
    EXPECT_EQ(transaction.Commit(), RegistryStatus::Failed);
  }
  EXPECT_EQ(GetProfileInt(kSettingsSection, "First", -1), -1);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "Third", -1), -1) << "stored on its own after the rollback";
  EXPECT_EQ(GetProfileString("Other", "Fourth", "none"), "none");
  EXPECT_FALSE(Registry::KeyExists(RegistryRoot::CurrentUser, std::string(kProfileKey) + "\\Other"));
  EXPECT_EQ(GetProfileInt(kSettingsSection, "Before", -1), 1);

  // The next group starts afresh.
  RegistryTransaction next(RegistryRoot::CurrentUser);
  EXPECT_TRUE(WriteProfileInt(kSettingsSection, "Third", 3));
  EXPECT_EQ(next.Commit(), RegistryStatus::Ok);
  EXPECT_EQ(GetProfileInt(kSettingsSection, "Third", -1), 3);
}

}  // namespace
}  // namespace veltra
