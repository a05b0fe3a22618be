// The application's directory: derived from its path, and made current when
// a run loads it, however long the path.
#include "engine/server/ApplicationDirectory.h"

#include <filesystem>
#include <fstream>

#include "engine/server/tests/ServerTestSupport.h"

namespace veltra::test {
namespace {

TEST(ApplicationDirectory, CutsAtTheLastSeparatorOfAnyKind) {
  EXPECT_EQ(ApplicationDirectory("C:\\work\\demo.app"), "C:\\work");
  EXPECT_EQ(ApplicationDirectory("/home/dsp/apps/demo.app"), "/home/dsp/apps");
  EXPECT_EQ(ApplicationDirectory("C:demo.app"), "C");
  EXPECT_EQ(ApplicationDirectory("demo.app"), "");
  EXPECT_EQ(ApplicationDirectory("\\demo.app"), "");
  EXPECT_EQ(ApplicationDirectory("/demo.app"), "/");
  EXPECT_EQ(ApplicationDirectory(""), "");
}

TEST(ApplicationDirectory, APathWithSlashesIsCutOnlyAtTheLastSlash) {
  // Here ':' and '\\' are ordinary characters of a file or directory name.
  EXPECT_EQ(ApplicationDirectory("/x/a:b.app"), "/x");
  EXPECT_EQ(ApplicationDirectory("/x/a\\b.app"), "/x");
  EXPECT_EQ(ApplicationDirectory("apps/sub\\demo.app"), "apps");
  EXPECT_EQ(ApplicationDirectory("data/c:d/e.app"), "data/c:d");
  EXPECT_EQ(ApplicationDirectory("/a:b"), "/");
}

TEST(ApplicationDirectory, PathWithoutDirectoryLeavesCurrentDirectory) {
  auto before = std::filesystem::current_path();
  EXPECT_TRUE(MakeApplicationDirectoryCurrent("demo.app"));
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_FALSE(MakeApplicationDirectoryCurrent("/no/such/directory/demo.app"));
  EXPECT_EQ(std::filesystem::current_path(), before);
}

// Makes a directory whose application path is exactly length characters.
std::filesystem::path DirectoryForPathLength(const TempDir& base, size_t length, const std::string& file) {
  size_t baseLength = base.Path().string().size();
  size_t nameLength = length - baseLength - 2 - file.size();  // two separators
  std::filesystem::path directory = base.Path() / std::string(nameLength, 'd');
  std::filesystem::create_directory(directory);
  return directory;
}

TEST_F(ServerTest, RunMakesTheDirectoryOfALongApplicationPathCurrent) {
  SelectApplication();  // the link waits for requests
  int runs = 0;
  for (size_t length : {256u, 257u, 258u, 259u}) {
    SCOPED_TRACE(length);
    TempDir base;
    auto directory = DirectoryForPathLength(base, length, "demo.app");
    std::string path = (directory / "demo.app").string();
    ASSERT_EQ(path.size(), length);
    server->SetApplication(path.c_str());
    ASSERT_TRUE(server->CanRun());
    RunAndWaitUntilServing();
    EXPECT_EQ(std::filesystem::current_path(), directory);
    HaltAndWait(++runs);
    EXPECT_EQ(link->loadedFiles.back(), path);
    std::filesystem::current_path(savedDirectory);
  }
}

TEST_F(ServerTest, ApplicationWithoutDirectoryKeepsTheCurrentDirectory) {
  SelectApplication();
  std::filesystem::current_path(settings.Path());
  server->SetApplication("demo.app");
  RunAndWaitUntilServing();
  EXPECT_EQ(std::filesystem::current_path(), settings.Path());
  HaltAndWait();
}

// A link that loads only files that exist where it is asked to look, as a
// real interface library does.
class FileCheckingLink : public ScriptedLink {
 public:
  bool LoadFile(const char* path) override {
    ScriptedLink::LoadFile(path);
    return std::filesystem::is_regular_file(path);
  }
};

class FileCheckingTest : public ServerTest {
 protected:
  void SetUp() override {
    link = std::make_unique<FileCheckingLink>();
    ServerTest::SetUp();
    SelectApplication();  // the link waits for requests
  }
  void TearDown() override {
    std::filesystem::current_path(savedDirectory);  // before work goes
    ServerTest::TearDown();
  }
  static void Touch(const std::filesystem::path& file) { std::ofstream(file) << "app"; }
  TempDir work;
};

TEST_F(FileCheckingTest, RelativePathWithADirectoryLoadsTheFileItNamed) {
  std::filesystem::create_directory(work.Path() / "sub");
  Touch(work.Path() / "sub" / "app");
  std::filesystem::current_path(work.Path());
  server->SetApplication("sub/app");
  // The second run starts from the directory the first one made current.
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    RunAndWaitUntilServing();
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), work.Path() / "sub"));
    ASSERT_EQ(link->loadedFiles.size(), static_cast<size_t>(run));
    std::filesystem::path loaded = link->loadedFiles.back();
    std::error_code error;
    EXPECT_TRUE(loaded.is_absolute()) << loaded;
    EXPECT_TRUE(std::filesystem::equivalent(loaded, work.Path() / "sub" / "app", error)) << loaded;
    HaltAndWait(run);
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(FileCheckingTest, ColonInTheFileNameIsNoSeparator) {
  // A directory named like the text before the colon must not be entered.
  std::filesystem::create_directory(work.Path() / "a");
  std::string path = (work.Path() / "a:b.app").string();
  Touch(path);
  server->SetApplication(path.c_str());
  RunAndWaitUntilServing();
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), work.Path()));
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{path});
  HaltAndWait();
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace veltra::test
