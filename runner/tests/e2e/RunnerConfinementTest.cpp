// veltra-run with --root and --no-host-commands: an application's file names
// stay inside the root, its host commands are refused, and both hold for the
// run they were given for only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettingsKey = "Software\\Orv\\Veltra\\Server\\Settings";

class RunnerConfinementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_);
    fs::create_directories(outside_);
    fs::create_directories(appDirectory_);
    std::ofstream(outside_ / "secret.txt") << "secret\n";
    fs::create_directory_symlink("../outside", root_ / "out");
    fs::copy_file(Bin("testapps/confined.app"), app_);
  }

  std::string Bin(const std::string& name) const { return TestBinDirectory() + "/" + name; }

  ProcessResult Run(const std::vector<std::string>& options, const std::string& commandLine) {
    return Run(options, commandLine, app_);
  }
  ProcessResult Run(const std::vector<std::string>& options, const std::string& commandLine,
                    const fs::path& app) {
    ProcessOptions process;
    process.environment["VELTRA_CONFIG_DIR"] = settings_.Path().string();
    process.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-a", commandLine, app.string()});
    return RunProcess(Bin("veltra-run"), args, process);
  }

  ProcessResult Settings(const std::vector<std::string>& args) {
    ProcessOptions process;
    process.environment["VELTRA_CONFIG_DIR"] = settings_.Path().string();
    return RunProcess(Bin("veltra-settings"), args, process);
  }

  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void ExpectOutsideUntouched() {
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(outside_)) {
      EXPECT_EQ(entry.path().filename(), "secret.txt");
      ++entries;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(ReadFile(outside_ / "secret.txt"), "secret\n");
  }

  TempDir settings_;
  TempDir work_;
  fs::path root_ = work_.Path() / "root";
  fs::path outside_ = work_.Path() / "outside";
  // Relative names start from the application's directory, here inside the root.
  fs::path appDirectory_ = root_ / "apps";
  fs::path app_ = appDirectory_ / "confined.app";
};

TEST_F(RunnerConfinementTest, RootKeepsEveryNameInsideAndRefusesTheWaysOut) {
  // The command line holds 254 characters: the cases take two runs.
  std::string absoluteOutside = (outside_ / "abs.txt").string();
  auto result =
      Run({"--root", root_.string(), "-m", "general"},
          "write made.txt write ../x.dat write ../../outside/new.txt write " + absoluteOutside +
              " write ../out/link.txt read ../out/secret.txt rename made.txt ../../outside/stolen.txt");
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out,
            "write made.txt: 0\n"
            "write ../x.dat: 0\n"
            "write ../../outside/new.txt: 99\n"
            "write " +
                absoluteOutside +
                ": 99\n"
                "write ../out/link.txt: 99\n"
                "read ../out/secret.txt: 99\n"
                "rename made.txt ../../outside/stolen.txt: 99\n");
  EXPECT_NE(
      result.err.find("MON: Refused ../../outside/new.txt: outside the file root " + root_.string() + "\n"),
      std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("MON: Refused ../../outside/stolen.txt"), std::string::npos) << result.err;
  // Relative names are the application's directory's, and ".." stays in the root.
  EXPECT_TRUE(fs::exists(appDirectory_ / "made.txt"));
  EXPECT_FALSE(fs::exists(root_ / "made.txt"));
  EXPECT_TRUE(fs::exists(root_ / "x.dat"));

  std::string expected = "exists " + (outside_ / "secret.txt").string() + ": 101\nread " +
                         (appDirectory_ / "made.txt").string() + ": 0\nfrom the application\n";
  result = Run({"--root", root_.string()}, "exists " + (outside_ / "secret.txt").string() + " read " +
                                               (appDirectory_ / "made.txt").string() + " temp");
  ASSERT_EQ(result.out.substr(0, expected.size()), expected) << result.out << result.err;
  // The temporary file was made in the root, and deleted with its closing.
  std::string temp = result.out.substr(expected.size());
  EXPECT_EQ(temp.rfind("temp: 0 " + root_.string() + "/vlt", 0), 0u) << temp;
  EXPECT_EQ(ReadFile(appDirectory_ / "made.txt"), "from the application\n");
  ExpectOutsideUntouched();

  // An application whose directory lies outside the root gets no relative
  // name at all.
  fs::path outsider = work_.Path() / "elsewhere" / "confined.app";
  fs::create_directories(outsider.parent_path());
  fs::copy_file(app_, outsider);
  auto refused = Run({"--root", root_.string()}, "write rel.txt", outsider);
  EXPECT_EQ(refused.out, "write rel.txt: 99\n") << refused.err;
  EXPECT_FALSE(fs::exists(outsider.parent_path() / "rel.txt"));
  EXPECT_FALSE(fs::exists(root_ / "rel.txt"));

  // Without --root the names are the application's directory's, unconfined.
  auto free = Run({}, "write ../free.txt", outsider);
  EXPECT_EQ(free.out, "write ../free.txt: 0\n") << free.err;
  EXPECT_TRUE(fs::exists(work_.Path() / "free.txt"));
}

TEST_F(RunnerConfinementTest, HostCommandsAreRefusedForTheRunThatAsks) {
  auto refused = Run({"--no-host-commands"}, "command \"echo ran > ran.txt\"");
  EXPECT_EQ(refused.out, "command: 99\n") << refused.err;
  EXPECT_FALSE(fs::exists(appDirectory_ / "ran.txt"));
  auto allowed = Run({}, "command \"echo ran > ran.txt\"");
  EXPECT_EQ(allowed.out, "command: 0\n") << allowed.err;
  EXPECT_EQ(ReadFile(appDirectory_ / "ran.txt"), "ran\n");

  // --root alone lets a command write outside the root; --confine does not.
  std::string escape = "command \"echo out > " + (outside_ / "escaped.txt").string() + "\"";
  auto rootOnly = Run({"--root", root_.string()}, escape);
  EXPECT_EQ(rootOnly.out, "command: 0\n") << rootOnly.err;
  EXPECT_TRUE(fs::exists(outside_ / "escaped.txt"));
  fs::remove(outside_ / "escaped.txt");
  auto confined = Run({"--confine", root_.string()}, escape + " write kept.txt");
  EXPECT_EQ(confined.out, "command: 99\nwrite kept.txt: 0\n") << confined.err;
  EXPECT_TRUE(fs::exists(appDirectory_ / "kept.txt"));
  ExpectOutsideUntouched();
}

TEST_F(RunnerConfinementTest, SavedSettingsApplyAndOptionsChangeOnlyTheirRun) {
  ASSERT_EQ(Settings({"set", kSettingsKey, "FileRoot", "string", root_.string()}).exitStatus, 0);
  ASSERT_EQ(Settings({"set", kSettingsKey, "AllowHostCommands", "dword", "0"}).exitStatus, 0);
  auto saved = Run({}, "write saved.txt command \"echo ran > ran.txt\"");
  EXPECT_EQ(saved.out, "write saved.txt: 0\ncommand: 99\n") << saved.err;
  EXPECT_TRUE(fs::exists(appDirectory_ / "saved.txt"));

  // Another root for one run; the saved one is what the next run gets.
  fs::path other = work_.Path() / "other";
  fs::create_directories(other);
  std::string onceFile = (other / "once.txt").string();
  auto once = Run({"--root", other.string()}, "write " + onceFile);
  EXPECT_EQ(once.out, "write " + onceFile + ": 0\n") << once.err;
  EXPECT_TRUE(fs::exists(other / "once.txt"));
  EXPECT_EQ(Settings({"get", kSettingsKey, "FileRoot"}).out, root_.string() + "\n");
  EXPECT_EQ(Settings({"get", kSettingsKey, "AllowHostCommands"}).out, "0\n");
}

TEST_F(RunnerConfinementTest, RootThatIsNoDirectoryIsAUsageError) {
  auto missing = Run({"--root", (work_.Path() / "missing").string()}, "write x.txt");
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_NE(missing.err.find("--root: " + (work_.Path() / "missing").string() + " is not a directory"),
            std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.out, "");
  auto empty = Run({"--root="}, "write x.txt");
  EXPECT_EQ(empty.exitStatus, 2);
  EXPECT_NE(empty.err.find("--root needs a directory"), std::string::npos) << empty.err;
}

}  // namespace
}  // namespace veltra::test
