#include "platform/SharedBlock.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace veltra {
namespace {

class SharedBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "/veltra-shared-block-test-" + std::to_string(getpid());
    lock_ = (std::filesystem::temp_directory_path() / (name_.substr(1) + ".lock")).string();
  }
  void TearDown() override {
    shm_unlink(name_.c_str());
    std::filesystem::remove(lock_);
    std::filesystem::remove(lock_ + ".start");
  }
  std::string name_;
  std::string lock_;
};

TEST_F(SharedBlockTest, EveryOpenerSeesTheSameBytesAndOnlyALoneOpenerZeroesThem) {
  SharedBlock first;
  ASSERT_TRUE(first.Open(name_, 64, lock_)) << first.Error();
  EXPECT_TRUE(first.WasAlone());
  std::memcpy(first.Data(), "kept", 5);

  SharedBlock second;
  ASSERT_TRUE(second.Open(name_, 64, lock_)) << second.Error();
  EXPECT_FALSE(second.WasAlone());
  EXPECT_STREQ(static_cast<char*>(second.Data()), "kept");
  static_cast<char*>(second.Data())[0] = 'K';
  EXPECT_EQ(static_cast<char*>(first.Data())[0], 'K');

  // Once every opener has gone, the next finds a zeroed block.
  first.Close();
  second.Close();
  SharedBlock third;
  ASSERT_TRUE(third.Open(name_, 64, lock_));
  EXPECT_TRUE(third.WasAlone());
  EXPECT_EQ(static_cast<char*>(third.Data())[0], '\0');
}

TEST_F(SharedBlockTest, AProcessKilledWithTheBlockOpenLeavesNothingStale) {
  pid_t child = fork();
  if (child == 0) {
    SharedBlock block;
    if (!block.Open(name_, 64, lock_)) _exit(2);
    std::memcpy(block.Data(), "stale", 6);
    pause();  // until killed
    _exit(0);
  }
  ASSERT_GT(child, 0);
  // Wait until the child has written, watching from a second opener.
  SharedBlock watcher;
  for (int i = 0; i < 500; ++i) {
    ASSERT_TRUE(watcher.Open(name_, 64, lock_));
    if (std::strcmp(static_cast<char*>(watcher.Data()), "stale") == 0) break;
    watcher.Close();
    usleep(10000);
  }
  ASSERT_STREQ(static_cast<char*>(watcher.Data()), "stale");
  watcher.Close();
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  SharedBlock next;
  ASSERT_TRUE(next.Open(name_, 64, lock_));
  EXPECT_TRUE(next.WasAlone());
  EXPECT_EQ(static_cast<char*>(next.Data())[0], '\0');
}

}  // namespace
}  // namespace veltra
