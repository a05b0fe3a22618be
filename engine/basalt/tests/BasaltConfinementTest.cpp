// Cluster 0 under a file root and without host commands: every service that
// takes a file name keeps to the root, refuses with its failure result and
// the reply it always has, and says so in a monitor line.
#include <sys/stat.h>

#include <filesystem>

#include "engine/basalt/tests/BasaltHarness.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

class BasaltConfinementTest : public BasaltTest {
 protected:
  void SetUp() override {
    BasaltTest::SetUp();
    fs::create_directories(root_ / "sub");
    fs::create_directories(outside_);
    Put((outside_ / "secret.txt").string(), "secret");
    fs::create_directory_symlink("../outside", root_ / "out");
    SetRoot(root_.string());
    // The application's directory is the root itself.
    fs::current_path(root_);
  }

  void SetRoot(const std::string& root) {
    std::snprintf(options_.FileRoot, sizeof options_.FileRoot, "%s", root.c_str());
  }

  void ExpectOutsideUntouched() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(outside_))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"secret.txt"});
    EXPECT_EQ(Contents((outside_ / "secret.txt").string()), "secret");
  }

  size_t Refusals() {
    std::string err = host_.Err();
    size_t count = 0;
    for (size_t at = err.find("MON: Refused"); at != std::string::npos; at = err.find("MON: Refused", at + 1))
      ++count;
    return count;
  }

  fs::path root_ = dir_.Path() / "root";
  fs::path outside_ = dir_.Path() / "outside";
};

TEST_F(BasaltConfinementTest, FilesOpenInsideTheRootAndNamesLeadingOutAreRefused) {
  options_.MonGeneral = 1;
  int32_t h = Open("made.txt", 0, 1, 1);
  Call(13, Args().W(h).S("kept"));
  EXPECT_EQ(Call(11, Args().W(h).W(0)).Result(), 0);
  EXPECT_EQ(Contents((root_ / "made.txt").string()), "kept");
  EXPECT_FALSE(fs::exists(dir_.Path() / "made.txt"));
  EXPECT_EQ(Call(7, Args().W(Open((root_ / "sub/../made.txt").string(), 0, 0, 0))).Text(),
            (root_ / "sub/../made.txt").string());

  const std::string names[] = {"../outside/secret.txt", (outside_ / "secret.txt").string(), "out/secret.txt",
                               "out/fresh.txt", "sub/../../outside/fresh.txt"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    for (int access : {0, 2}) {
      Reply refused = Call(1, Args().S(name).W(0).W(access).W(access ? 1 : 0).W(0));
      EXPECT_EQ(refused.Word(), -1);
      EXPECT_EQ(refused.Result(), 99);
    }
    Reply exists = Call(21, Args().S(name));
    EXPECT_EQ(exists.Word(), 0);
    EXPECT_EQ(exists.Result(), 101);
    EXPECT_EQ(Call(22, Args().S(name)).Result(), 99);
  }
  EXPECT_EQ(Refusals(), std::size(names) * 4);
  EXPECT_NE(host_.Err().find("MON: Refused out/secret.txt: outside the file root " + root_.string() + "\n"),
            std::string::npos)
      << host_.Err();
  EXPECT_EQ(Call(21, Args().S("made.txt")).Result(), 0);
  ExpectOutsideUntouched();

  // Without general monitoring the refusal is silent, and the same.
  options_.MonGeneral = 0;
  host_.Clear();
  EXPECT_EQ(Call(1, Args().S("../outside/secret.txt").W(0).W(0).W(0).W(0)).Result(), 99);
  EXPECT_EQ(host_.Err(), "");
}

TEST_F(BasaltConfinementTest, RenameKeepsBothNamesInsideAndSaysWhichWasRefused) {
  options_.MonGeneral = 1;
  Put((root_ / "mine.txt").string(), "mine");
  EXPECT_EQ(Call(27, Args().S("mine.txt").S("out/stolen.txt")).Result(), 99);
  EXPECT_NE(host_.Err().find("Refused out/stolen.txt"), std::string::npos) << host_.Err();
  EXPECT_EQ(Call(27, Args().S((outside_ / "secret.txt").string()).S("taken.txt")).Result(), 99);
  EXPECT_NE(host_.Err().find("Refused " + (outside_ / "secret.txt").string()), std::string::npos);
  EXPECT_EQ(Call(27, Args().S("mine.txt").S("sub/moved.txt")).Result(), 0);
  EXPECT_EQ(Contents((root_ / "sub/moved.txt").string()), "mine");
  ExpectOutsideUntouched();
}

TEST_F(BasaltConfinementTest, TemporaryFilesAreMadeInTheRootAndDeletedThere) {
  Reply temporary = Call(2, Args().W(0).W(0));
  ASSERT_EQ(temporary.Result(), 0);
  int32_t t = temporary.Word();
  std::string name = Call(7, Args().W(t)).Text();
  EXPECT_EQ(fs::path(name).parent_path(), root_);
  EXPECT_TRUE(fs::exists(name));
  EXPECT_EQ(Call(11, Args().W(t).W(0)).Result(), 0);
  EXPECT_FALSE(fs::exists(name));
}

// The file was opened inside the root; before it is closed with deletion,
// its directory is replaced by a link to the outside, where a file of the
// same name lives. Deleting resolves the name again and must refuse.
TEST_F(BasaltConfinementTest, DeletionOnCloseIsResolvedAgainAndCannotBeLedOut) {
  options_.MonGeneral = 1;
  Put((outside_ / "t.dat").string(), "outside");
  int32_t h = Open("sub/t.dat", 0, 1, 1);
  Call(13, Args().W(h).S("inside"));
  fs::rename(root_ / "sub", root_ / "old");
  fs::create_directory_symlink("../outside", root_ / "sub");
  EXPECT_EQ(Call(11, Args().W(h).W(1)).Result(), 99);
  EXPECT_EQ(Contents((outside_ / "t.dat").string()), "outside");
  EXPECT_EQ(Contents((root_ / "old/t.dat").string()), "inside") << "written and closed all the same";
  EXPECT_NE(host_.Err().find("MON: Refused sub/t.dat"), std::string::npos) << host_.Err();
  EXPECT_EQ(Call(5, Args().W(h)).Result(), 8) << "the handle is released";

  // The root in force when a file was opened is the one its deletion uses.
  int32_t kept = Open("keep.dat", 0, 1, 1);
  Put((dir_.Path() / "keep.dat").string(), "other root");
  SetRoot(dir_.Path().string());
  EXPECT_EQ(Call(11, Args().W(kept).W(1)).Result(), 0);
  EXPECT_FALSE(fs::exists(root_ / "keep.dat"));
  EXPECT_EQ(Contents((dir_.Path() / "keep.dat").string()), "other root");
}

TEST_F(BasaltConfinementTest, ARootThatCannotBeUsedRefusesEveryName) {
  options_.MonGeneral = 1;
  SetRoot((dir_.Path() / "missing").string());
  Reply refused = Call(1, Args().S("a.txt").W(0).W(1).W(1).W(0));
  EXPECT_EQ(refused.Word(), -1);
  EXPECT_EQ(refused.Result(), 99);
  Reply temporary = Call(2, Args().W(0).W(0));
  EXPECT_EQ(temporary.Word(), -1);
  EXPECT_EQ(temporary.Result(), 99);
  EXPECT_NE(host_.Err().find("File root " + (dir_.Path() / "missing").string() + " cannot be used"),
            std::string::npos)
      << host_.Err();
  EXPECT_FALSE(fs::exists(dir_.Path() / "a.txt"));
}

TEST_F(BasaltConfinementTest, HostCommandsCanBeSwitchedOff) {
  options_.AllowHostCommands = 0;
  options_.MonGeneral = 1;
  Reply refused = Call(26, Args().S("echo ran > ran.txt"));
  EXPECT_EQ(refused.Size(), 4u);
  EXPECT_EQ(refused.Result(), 99);
  EXPECT_FALSE(fs::exists(dir_.Path() / "ran.txt"));
  EXPECT_FALSE(fs::exists(root_ / "ran.txt"));
  EXPECT_NE(host_.Err().find("MON: Host command refused: echo ran > ran.txt"), std::string::npos);
  // Serving goes on in step: the next request is answered.
  EXPECT_EQ(Call(28).WordsLeft(), 1u);

  options_.AllowHostCommands = 1;
  EXPECT_EQ(Call(26, Args().S("echo ran > ran.txt")).Result(), 0);
  EXPECT_TRUE(fs::exists(root_ / "ran.txt")) << "commands run in the application's directory";
}

}  // namespace
}  // namespace veltra::test
