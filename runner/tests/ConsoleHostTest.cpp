// ConsoleHost's own line reader: lines as fgets gives them, nothing lost
// between calls, and a read waiting for input ended by StopInput.
#include "runner/ConsoleHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

namespace veltra {
namespace {

class ConsoleHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(fds_), 0);
    out_ = std::tmpfile();
    ASSERT_NE(out_, nullptr);
  }
  void TearDown() override {
    if (fds_[0] >= 0) close(fds_[0]);
    CloseWriter();
    if (out_) std::fclose(out_);
  }
  void Write(const std::string& text) {
    ASSERT_EQ(write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseWriter() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  std::string Read(ConsoleHost& host, int size) {
    std::string buffer(static_cast<size_t>(size), '\x7f');
    int length = host.ReadLine(buffer.data(), size);
    EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
    return buffer.substr(0, static_cast<size_t>(length));
  }

  int fds_[2] = {-1, -1};
  std::FILE* out_ = nullptr;
};

TEST_F(ConsoleHostTest, LinesAreHandedOutWholeOrCutAtTheBufferSize) {
  ConsoleHost host(out_, stderr, fds_[0]);
  Write("one\ntwo\nlonger line\n");
  EXPECT_EQ(Read(host, 100), "one\n");
  EXPECT_EQ(Read(host, 100), "two\n");
  EXPECT_EQ(Read(host, 5), "long");
  EXPECT_EQ(Read(host, 5), "er l");
  EXPECT_EQ(Read(host, 5), "ine\n");
  Write("last without newline");
  CloseWriter();
  EXPECT_EQ(Read(host, 100), "last without newline");
  EXPECT_EQ(Read(host, 100), "");
  EXPECT_EQ(Read(host, 100), "");
}

TEST_F(ConsoleHostTest, OutputIsFlushedBeforeInputIsRead) {
  ConsoleHost host(out_, stderr, fds_[0]);
  host.Output("prompt: ", false);
  Write("answer\n");
  EXPECT_EQ(Read(host, 100), "answer\n");
  EXPECT_EQ(ftell(out_), 8);
  EXPECT_EQ(lseek(fileno(out_), 0, SEEK_CUR), 8) << "not flushed";
}

TEST_F(ConsoleHostTest, MergedStandardErrorIsWrittenToTheOutputStream) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    ConsoleHost separate(out_, err, fds_[0]);
    separate.Output("out\n", false);
    separate.Output("err\n", true);
    ConsoleHost merged(out_, err, fds_[0], true);
    merged.Output("merged\n", true);
  }
  auto contents = [](std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    char text[64] = {};
    size_t length = std::fread(text, 1, sizeof text - 1, file);
    return std::string(text, length);
  };
  EXPECT_EQ(contents(out_), "out\nmerged\n");
  EXPECT_EQ(contents(err), "err\n");
  std::fclose(err);
}

TEST_F(ConsoleHostTest, StopInputEndsAWaitingReadAndEveryLaterOne) {
  ConsoleHost host(out_, stderr, fds_[0]);
  Write("kept\n");
  EXPECT_EQ(Read(host, 100), "kept\n");
  auto waiting = std::async(std::launch::async, [&] { return Read(host, 100); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
      << "returned without input";
  host.StopInput();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), "");
  Write("after the stop\n");
  EXPECT_EQ(Read(host, 100), "");
}

}  // namespace
}  // namespace veltra
