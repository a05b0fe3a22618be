// The file root on its own, with both resolvers: every way out of the root is
// refused, every way that stays inside works, and a component swapped for a
// link while names are resolved never leads out.
#include "engine/basalt/FileRoot.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;
using Outcome = FileRoot::Outcome;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Names(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
  return names;
}

class FileRootTest : public testing::TestWithParam<FileRoot::Resolver> {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "sub");
    fs::create_directories(outside_);
    std::ofstream(root_ / "inner.txt") << "inner";
    std::ofstream(outside_ / "secret.txt") << "secret";
    fs::create_directory_symlink("../outside", root_ / "out");
    fs::create_symlink(outside_ / "secret.txt", root_ / "abs");
    fs::create_directory_symlink("sub", root_ / "in");
    fs::create_symlink("../inner.txt", root_ / "sub" / "up");
    fs::create_symlink("loop", root_ / "loop");
    fs::create_directory_symlink("root", dir_.Path() / "alias");
    // The application's directory, from which relative names start.
    previous_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override { fs::current_path(previous_); }

  // Opens through a root at path and reads what the descriptor holds.
  Outcome Read(FileRoot& root, const std::string& name, std::string* text = nullptr) {
    int fd = -1;
    Outcome outcome = root.Open(name.c_str(), O_RDONLY, &fd);
    if (outcome == Outcome::Done) {
      char buffer[64] = {};
      ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
      if (text) *text = got > 0 ? std::string(buffer, static_cast<size_t>(got)) : "";
      ::close(fd);
    }
    return outcome;
  }

  Outcome Create(FileRoot& root, const std::string& name) {
    int fd = -1;
    Outcome outcome = root.Open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, &fd);
    if (outcome == Outcome::Done) {
      EXPECT_EQ(::write(fd, "new", 3), 3);
      ::close(fd);
    }
    return outcome;
  }

  // What the outside directory must still hold after every case.
  void ExpectOutsideUntouched() {
    EXPECT_EQ(Names(outside_), std::set<std::string>{"secret.txt"});
    EXPECT_EQ(Contents(outside_ / "secret.txt"), "secret");
  }

  TempDir dir_;
  fs::path root_ = dir_.Path() / "root";
  fs::path outside_ = dir_.Path() / "outside";
  fs::path previous_;
};

TEST_P(FileRootTest, NamesInsideTheRootResolveThere) {
  FileRoot root(root_.string(), GetParam());
  ASSERT_TRUE(root.Usable());
  if (GetParam() == FileRoot::Resolver::Walk) {
    EXPECT_FALSE(root.KernelResolves());
  }
  std::string text;
  EXPECT_EQ(Read(root, "inner.txt", &text), Outcome::Done);
  EXPECT_EQ(text, "inner");
  EXPECT_EQ(Read(root, "sub/../inner.txt", &text), Outcome::Done);
  EXPECT_EQ(Read(root, "./sub/./up", &text), Outcome::Done) << "a link that stays inside";
  EXPECT_EQ(text, "inner");
  // Absolute names inside the root, spelled as the root was given and with
  // its links resolved.
  EXPECT_EQ(Read(root, (root_ / "inner.txt").string()), Outcome::Done);
  FileRoot aliased((dir_.Path() / "alias").string(), GetParam());
  EXPECT_EQ(Read(aliased, (dir_.Path() / "alias" / "inner.txt").string(), &text), Outcome::Done);
  EXPECT_EQ(Read(aliased, (root_ / "inner.txt").string(), &text), Outcome::Done);
  EXPECT_EQ(text, "inner");
  EXPECT_EQ(Create(root, "in/made.txt"), Outcome::Done);
  EXPECT_EQ(Contents(root_ / "sub" / "made.txt"), "new");
  EXPECT_EQ(Read(root, "missing.txt"), Outcome::Failed);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(Read(root, ""), Outcome::Failed);
  EXPECT_EQ(Read(root, "loop"), Outcome::Failed);
  EXPECT_EQ(errno, ELOOP);
}

// Relative names start from the current directory (the application's) when
// it lies inside the root; ".." climbs within the root and not beyond.
TEST_P(FileRootTest, RelativeNamesStartFromTheApplicationsDirectory) {
  FileRoot root(root_.string(), GetParam());
  fs::current_path(root_ / "sub");
  EXPECT_EQ(Create(root, "rel.dat"), Outcome::Done);
  EXPECT_EQ(Contents(root_ / "sub" / "rel.dat"), "new");
  EXPECT_FALSE(fs::exists(root_ / "rel.dat"));
  EXPECT_EQ(Create(root, "../x.dat"), Outcome::Done);
  EXPECT_EQ(Contents(root_ / "x.dat"), "new");
  std::string text;
  EXPECT_EQ(Read(root, "../inner.txt", &text), Outcome::Done);
  EXPECT_EQ(text, "inner");
  EXPECT_EQ(root.Rename("rel.dat", "../moved.dat"), Outcome::Done);
  EXPECT_TRUE(fs::exists(root_ / "moved.dat"));
  EXPECT_EQ(root.Remove("../moved.dat"), Outcome::Done);
  for (const char* name : {"../../outside/secret.txt", "../out/secret.txt", "../.."}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Read(root, name), Outcome::Outside);
  }
  // Through the root's alias the directory is still inside.
  fs::current_path(dir_.Path() / "alias" / "sub");
  EXPECT_EQ(Read(root, "../inner.txt"), Outcome::Done);
  // An application directory outside the root: no relative name is taken.
  fs::current_path(outside_);
  EXPECT_EQ(Read(root, "secret.txt"), Outcome::Outside);
  EXPECT_EQ(Create(root, "new.txt"), Outcome::Outside);
  EXPECT_EQ(Read(root, (root_ / "inner.txt").string()), Outcome::Done) << "absolute names still are";
  ExpectOutsideUntouched();
}

TEST_P(FileRootTest, EveryWayOutIsRefused) {
  FileRoot root(root_.string(), GetParam());
  for (const std::string& name : {std::string("../outside/secret.txt"), (outside_ / "secret.txt").string(),
                                  std::string("out/secret.txt"), std::string("sub/../../outside/secret.txt"),
                                  std::string("abs"), std::string("in/../out/secret.txt"), std::string(".."),
                                  std::string("/"), (root_ / ".." / "outside" / "secret.txt").string()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Read(root, name), Outcome::Outside);
  }
  for (const std::string& name : {std::string("out/new.txt"), std::string("../outside/new.txt"),
                                  std::string("abs"), (outside_ / "new.txt").string()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Create(root, name), Outcome::Outside);
  }
  EXPECT_EQ(root.Remove("out/secret.txt"), Outcome::Outside);
  EXPECT_EQ(root.Remove("../outside/secret.txt"), Outcome::Outside);
  EXPECT_EQ(root.Remove(".."), Outcome::Outside);
  const char* refused = nullptr;
  EXPECT_EQ(root.Rename("inner.txt", "out/stolen.txt", &refused), Outcome::Outside);
  EXPECT_STREQ(refused, "out/stolen.txt");
  std::string secret = (outside_ / "secret.txt").string();
  EXPECT_EQ(root.Rename(secret.c_str(), "mine.txt", &refused), Outcome::Outside);
  EXPECT_EQ(refused, secret.c_str());
  ExpectOutsideUntouched();
  EXPECT_EQ(Contents(root_ / "inner.txt"), "inner");

  // A link in the root is itself inside: removing or renaming it never
  // reaches what it names.
  EXPECT_EQ(root.Rename("out", "elsewhere"), Outcome::Done);
  EXPECT_EQ(root.Remove("elsewhere"), Outcome::Done);
  EXPECT_EQ(root.Remove("abs"), Outcome::Done);
  ExpectOutsideUntouched();
}

TEST_P(FileRootTest, TemporaryFilesRemoveAndRenameStayInTheRoot) {
  FileRoot root(root_.string(), GetParam());
  int fd = -1;
  std::string path;
  ASSERT_EQ(root.CreateTemporary(&fd, &path), Outcome::Done);
  ::close(fd);
  EXPECT_EQ(fs::path(path).parent_path(), root_);
  EXPECT_EQ(fs::path(path).filename().string().substr(0, 3), "vlt");
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(root.Rename(path.c_str(), "sub/kept.tmp"), Outcome::Done);
  EXPECT_TRUE(fs::exists(root_ / "sub" / "kept.tmp"));
  EXPECT_EQ(root.Remove((root_ / "sub" / "kept.tmp").c_str()), Outcome::Done);
  EXPECT_FALSE(fs::exists(root_ / "sub" / "kept.tmp"));
  EXPECT_EQ(root.Remove("sub/kept.tmp"), Outcome::Failed);
  EXPECT_EQ(root.Remove("sub/.."), Outcome::Failed) << "the root itself is never removed";
  EXPECT_TRUE(fs::exists(root_));
}

TEST_P(FileRootTest, ARootThatCannotBeOpenedRefusesEverything) {
  FileRoot missing((dir_.Path() / "missing").string(), GetParam());
  EXPECT_FALSE(missing.Usable());
  EXPECT_EQ(missing.RootError(), ENOENT);
  EXPECT_EQ(Read(missing, "inner.txt"), Outcome::Outside);
  int fd = -1;
  std::string path;
  EXPECT_EQ(missing.CreateTemporary(&fd, &path), Outcome::Outside);
  FileRoot file((root_ / "inner.txt").string(), GetParam());
  EXPECT_FALSE(file.Usable());
  EXPECT_EQ(file.RootError(), ENOTDIR);
}

// A second thread keeps exchanging the directory "sub" with a link to the
// outside directory while names through "sub" are created, removed and
// renamed. Whatever the interleaving, nothing may appear or vanish outside.
TEST_P(FileRootTest, ComponentsSwappedForLinksDuringResolutionNeverLeadOut) {
  fs::create_directory_symlink("../outside", root_ / "swap");
  FileRoot root(root_.string(), GetParam());
  std::atomic<bool> stop{false};
  std::atomic<long> swaps{0};
  std::thread swapper([&] {
    std::string a = (root_ / "sub").string();
    std::string b = (root_ / "swap").string();
    while (!stop) {
      if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) ++swaps;
    }
  });
  int done = 0;
  int outside = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (int i = 0; i < 20000 && std::chrono::steady_clock::now() < deadline; ++i) {
    Outcome created = Create(root, "sub/victim.txt");
    done += created == Outcome::Done;
    outside += created == Outcome::Outside;
    root.Rename("sub/victim.txt", "sub/secret.txt");
    root.Remove("sub/secret.txt");
    root.Remove("sub/victim.txt");
    if (i > 2000 && done > 100 && outside > 100) break;
  }
  stop = true;
  swapper.join();
  EXPECT_GT(swaps.load(), 0);
  EXPECT_GT(done, 0) << "never resolved while \"sub\" was the directory";
  EXPECT_GT(outside, 0) << "never refused while \"sub\" was the link";
  ExpectOutsideUntouched();
}

INSTANTIATE_TEST_SUITE_P(Resolvers, FileRootTest,
                         testing::Values(FileRoot::Resolver::Kernel, FileRoot::Resolver::Walk),
                         [](const testing::TestParamInfo<FileRoot::Resolver>& info) {
                           return info.param == FileRoot::Resolver::Kernel ? "Kernel" : "Walk";
                         });

TEST(FileRootUnconfined, NamesAreUsedAsTheyStand) {
  TempDir dir;
  fs::path previous = fs::current_path();
  fs::current_path(dir.Path());
  FileRoot root("");
  EXPECT_FALSE(root.Confined());
  EXPECT_TRUE(root.Usable());
  int fd = -1;
  ASSERT_EQ(root.Open("here.txt", O_WRONLY | O_CREAT, &fd), Outcome::Done);
  ::close(fd);
  EXPECT_TRUE(fs::exists(dir.Path() / "here.txt"));
  EXPECT_EQ(root.Rename("here.txt", (dir.Path() / "there.txt").c_str()), Outcome::Done);
  EXPECT_EQ(root.Remove("there.txt"), Outcome::Done);
  EXPECT_EQ(root.Remove("there.txt"), Outcome::Failed);
  std::string path;
  ASSERT_EQ(root.CreateTemporary(&fd, &path), Outcome::Done);
  ::close(fd);
  EXPECT_EQ(fs::path(path).parent_path(), fs::temp_directory_path());
  EXPECT_EQ(root.Remove(path.c_str()), Outcome::Done);
  fs::current_path(previous);
}

}  // namespace
}  // namespace veltra::test
