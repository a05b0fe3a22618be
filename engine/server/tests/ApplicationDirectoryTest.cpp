// The application's directory: derived from its path, and made current when
// a run loads it, however long the path.
#include "engine/server/ApplicationDirectory.h"

#include <filesystem>

#include "engine/server/tests/ServerTestSupport.h"

namespace veltra::test {
namespace {

TEST(ApplicationDirectory, CutsAtTheLastSeparatorOfAnyKind) {
  EXPECT_EQ(ApplicationDirectory("C:\\work\\demo.app"), "C:\\work");
  EXPECT_EQ(ApplicationDirectory("/home/dsp/apps/demo.app"), "/home/dsp/apps");
  EXPECT_EQ(ApplicationDirectory("apps/sub\\demo.app"), "apps/sub");
  EXPECT_EQ(ApplicationDirectory("C:demo.app"), "C");
  EXPECT_EQ(ApplicationDirectory("demo.app"), "");
  EXPECT_EQ(ApplicationDirectory("\\demo.app"), "");
  EXPECT_EQ(ApplicationDirectory("/demo.app"), "/");
  EXPECT_EQ(ApplicationDirectory(""), "");
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

}  // namespace
}  // namespace veltra::test
