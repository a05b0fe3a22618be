#include <gtest/gtest.h>

#include "platform/settings/Registry.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "tests/support/StoreLock.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

using test::RunTool;
constexpr const char* kKey = "Software\\Orv\\Veltra\\Server\\Settings";

TEST(SettingsToolTest, EachTypeRoundTripsThroughTheStore) {
  test::TempDir config(true);
  EXPECT_EQ(RunTool({"set", kKey, "BoardSelect_Index", "dword", "-1"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "ResetDelay", "dword", "0x10"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "Window", "dword", "4294967294"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "StdOut_Filename", "string", "C:\\logs\\out put.txt"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "Banner", "string", "one\ttwo\nthree"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "XMin", "binary", "00 FF:10"}).exitCode, 0);
  EXPECT_EQ(RunTool({"set", kKey, "Nothing", "binary", ""}).exitCode, 0);

  EXPECT_EQ(RunTool({"get", kKey, "boardselect_index"}).out, "-1\n");
  EXPECT_EQ(RunTool({"get", kKey, "ResetDelay"}).out, "16\n");
  EXPECT_EQ(RunTool({"get", kKey, "Window"}).out, "-2\n");
  EXPECT_EQ(RunTool({"get", kKey, "StdOut_Filename"}).out, "C:\\logs\\out put.txt\n");
  EXPECT_EQ(RunTool({"get", kKey, "XMin"}).out, "00ff10\n");

  // The programs see the types the tool wrote.
  Registry key(RegistryRoot::CurrentUser, kKey);
  int32_t index = 0;
  EXPECT_EQ(key.ReadInt("BoardSelect_Index", index), RegistryStatus::Ok);
  EXPECT_EQ(index, -1);
  unsigned char bytes[3] = {};
  EXPECT_EQ(key.ReadBinary("XMin", bytes, 3), RegistryStatus::Ok);
  EXPECT_EQ(bytes[1], 0xff);
  std::vector<unsigned char> none{1};
  EXPECT_EQ(key.ReadBinary("Nothing", none), RegistryStatus::Ok);
  EXPECT_TRUE(none.empty());

  test::ToolResult list = RunTool({"list", kKey});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out,
            "BoardSelect_Index\tdword\t-1\n"
            "ResetDelay\tdword\t16\n"
            "Window\tdword\t-2\n"
            "StdOut_Filename\tstring\tC:\\\\logs\\\\out put.txt\n"
            "Banner\tstring\tone\\ttwo\\nthree\n"
            "XMin\tbinary\t00ff10\n"
            "Nothing\tbinary\t\n");
  EXPECT_EQ(RunTool({"list", "software\\orv"}).out, "Veltra\\\n");
  EXPECT_EQ(RunTool({"list"}).out, "Software\\\n");
}

TEST(SettingsToolTest, ExitCodesTellMissingFromMisuse) {
  test::TempDir config(true);
  ASSERT_EQ(RunTool({"set", kKey, "MonLink", "dword", "1"}).exitCode, 0);

  for (std::vector<std::string> missing : std::vector<std::vector<std::string>>{
           {"get", kKey, "NoSuchValue"},
           {"get", "Software\\Nowhere", "MonLink"},
           {"list", "Software\\Nowhere"},
           {"delete", kKey, "NoSuchValue"},
           {"delete", "Software\\Nowhere"},
           {"get", "--machine", kKey, "MonLink"},
       }) {
    test::ToolResult result = RunTool(missing);
    EXPECT_EQ(result.exitCode, 1) << missing[0] << " " << missing[1];
    EXPECT_EQ(result.out, "");
  }

  for (std::vector<std::string> misuse : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"get", kKey},
           {"set", kKey, "MonLink", "qword", "1"},
           {"set", kKey, "MonLink", "dword", "12x"},
           {"set", kKey, "MonLink", "dword", "4294967296"},
           {"set", kKey, "MonLink", "dword", "-2147483649"},
           {"set", kKey, "XMin", "binary", "abc"},
           {"set", kKey, "XMin", "binary", "zz"},
           {"set", "\\", "Loose", "string", "x"},
           {"delete", "\\"},
           {"list", "--verbose"},
           {"where", "extra"},
       }) {
    test::ToolResult result = RunTool(misuse);
    EXPECT_EQ(result.exitCode, 2) << (misuse.empty() ? "(nothing)" : misuse[0]);
    EXPECT_NE(result.err.find("usage: veltra-settings"), std::string::npos);
  }
  EXPECT_EQ(RunTool({"get", kKey, "MonLink"}).out, "1\n") << "misuse changed nothing";

  test::ToolResult help = RunTool({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

TEST(SettingsToolTest, DeletesAndKeepsTheRootsApart) {
  test::TempDir config(true);
  ASSERT_EQ(RunTool({"set", "--machine", "SOFTWARE\\Orv Limited\\Orv Veltra", "Veltra", "string", "/opt/v/"})
                .exitCode,
            0);
  ASSERT_EQ(RunTool({"set", "SOFTWARE\\Orv Limited\\Plexa_310\\Ctrl5610", "xpos", "dword", "3"}).exitCode, 0);
  EXPECT_EQ(RunTool({"get", "SOFTWARE\\Orv Limited\\Orv Veltra", "Veltra"}).exitCode, 1);
  EXPECT_EQ(RunTool({"get", "SOFTWARE\\Orv Limited\\Orv Veltra", "Veltra", "--machine"}).out, "/opt/v/\n");

  test::ToolResult where = RunTool({"where"});
  EXPECT_EQ(where.out, "user\t" + config.File("user.db") + "\nmachine\t" + config.File("machine.db") + "\n");

  EXPECT_EQ(RunTool({"delete", "SOFTWARE\\Orv Limited\\Plexa_310\\Ctrl5610", "XPOS"}).exitCode, 0);
  EXPECT_EQ(RunTool({"list", "SOFTWARE\\Orv Limited\\Plexa_310\\Ctrl5610"}).out, "");
  EXPECT_EQ(RunTool({"delete", "software\\orv limited"}).exitCode, 0);
  EXPECT_EQ(RunTool({"list", "SOFTWARE\\Orv Limited\\Plexa_310"}).exitCode, 1);
  EXPECT_EQ(RunTool({"list", "--machine", "SOFTWARE\\Orv Limited"}).out, "Orv Veltra\\\n");
}

// Every word after "set KEY NAME TYPE" is the value, also one that looks like
// an option; a "--" before it still ends the options.
TEST(SettingsToolTest, ValueWordsAreNeverOptions) {
  test::TempDir config(true);
  test::ToolResult help = RunTool({"set", kKey, "Title", "string", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, "");
  EXPECT_EQ(RunTool({"get", kKey, "Title"}).out, "--help\n");

  EXPECT_EQ(RunTool({"set", kKey, "Root", "string", "--machine"}).exitCode, 0);
  EXPECT_EQ(RunTool({"get", kKey, "Root"}).out, "--machine\n");
  EXPECT_EQ(RunTool({"get", "--machine", kKey, "Root"}).exitCode, 1) << "the value switched roots";

  EXPECT_EQ(RunTool({"set", kKey, "Delay", "dword", "--", "-5"}).exitCode, 0);
  EXPECT_EQ(RunTool({"get", kKey, "Delay"}).out, "-5\n");
  EXPECT_EQ(RunTool({"set", kKey, "Dashes", "string", "--", "--"}).exitCode, 0);
  EXPECT_EQ(RunTool({"get", kKey, "Dashes"}).out, "--\n");
  EXPECT_EQ(RunTool({"set", kKey, "Flag", "string", "-h"}).exitCode, 0);
  EXPECT_EQ(RunTool({"get", kKey, "Flag"}).out, "-h\n");

  for (std::vector<std::string> misuse : std::vector<std::vector<std::string>>{
           {"set", kKey, "Title", "string", "one", "--help"},
           {"set", kKey, "Delay", "dword", "--verbose"},
       }) {
    test::ToolResult result = RunTool(misuse);
    EXPECT_EQ(result.exitCode, 2) << misuse.back();
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(RunTool({"get", kKey, "Title"}).out, "--help\n") << "misuse changed nothing";
}

// Another process holds the store past the wait: reads say the store failed
// (exit 3) instead of "no key", and the lists say so instead of coming back
// empty. Tools and the in-process read share one held lock.
TEST(SettingsToolTest, StoreBusyPastTheWaitIsAFailureNotAMissingValue) {
  test::TempDir config(true);
  Registry key(RegistryRoot::CurrentUser, kKey);
  ASSERT_EQ(key.WriteInt("MonLink", 1), RegistryStatus::Ok);

  test::StoreLock lock(Registry::DatabasePath(RegistryRoot::CurrentUser), 12);
  ASSERT_TRUE(lock.WaitUntilHeld()) << "the shell never took the lock";
  pid_t get = test::SpawnTool({"get", kKey, "MonLink"}, config.File("get.out"), config.File("get.err"));
  pid_t list = test::SpawnTool({"list", kKey}, config.File("list.out"), config.File("list.err"));
  std::vector<RegistryValue> values{RegistryValue::FromDword("Stale", 0)};
  RegistryStatus listed = key.Values(values);
  int getExit = test::WaitExit(get);
  int listExit = test::WaitExit(list);
  EXPECT_TRUE(lock.Finish()) << "the shell's transaction failed";

  EXPECT_EQ(listed, RegistryStatus::Failed);
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(getExit, 3);
  EXPECT_EQ(test::ReadWhole(config.File("get.out")), "");
  EXPECT_NE(test::ReadWhole(config.File("get.err")).find("busy or failing"), std::string::npos)
      << test::ReadWhole(config.File("get.err"));
  EXPECT_EQ(listExit, 3);
  EXPECT_EQ(test::ReadWhole(config.File("list.out")), "");

  // The lock is gone: everything reads again.
  EXPECT_EQ(key.Values(values), RegistryStatus::Ok);
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(RunTool({"get", kKey, "MonLink"}).out, "1\n");
}

}  // namespace
}  // namespace veltra
