#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "engine/serve/ServerContextImpl.h"
#include "platform/RecordingUi.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "veltra/ServerError.h"

namespace veltra {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void SetName(StreamOptions& stream, const std::string& path) {
  std::snprintf(stream.Filename, sizeof stream.Filename, "%s", path.c_str());
}

class ServerContextTest : public ::testing::Test {
 protected:
  void SetUp() override { Ui::Install(&ui); }
  void TearDown() override {
    context.reset();
    Ui::Install(nullptr);
  }
  ServerContextImpl& Context() {
    if (!context) context = std::make_unique<ServerContextImpl>(&host, &options);
    return *context;
  }
  void Write(const std::string& text, bool toStderr) {
    std::string buffer = text + '\0';
    Context().Write(buffer.data(), static_cast<int>(text.size()), toStderr);
  }

  test::TempDir dir{true};
  RecordingUi ui;
  test::RecordingHost host;
  OptionsRecord options = kDefaultOptions;
  std::unique_ptr<ServerContextImpl> context;
};

TEST_F(ServerContextTest, MonitorAndFatalLinesAreCutToTheirBuffers) {
  Context().Monitor("loaded %s", "Plexa_301.so");
  EXPECT_EQ(host.Err(), "MON: loaded Plexa_301.so\n");
  EXPECT_EQ(host.Out(), "");

  host.Clear();
  std::string longText(600, 'x');
  Context().Monitor("%s", longText.c_str());
  EXPECT_EQ(host.Err(), "MON: " + std::string(255, 'x') + "\n");

  host.Clear();
  try {
    Context().Fatal("P5 protocol error: block size %08lX", 0x2068ul);
    FAIL() << "Fatal returned";
  } catch (const Stop& stop) {
    EXPECT_STREQ(stop.what(), "");
  }
  EXPECT_EQ(host.Err(), "\nServer terminated: P5 protocol error: block size 00002068\n");

  host.Clear();
  EXPECT_THROW(Context().Fatal("%s", longText.c_str()), Stop);
  EXPECT_EQ(host.Err(), "\nServer terminated: " + std::string(127, 'x') + "\n");
}

TEST_F(ServerContextTest, MonitorWordsShowsAtMostThirtyTwoWordsEightPerLine) {
  uint32_t words[40];
  for (uint32_t i = 0; i < 40; ++i) words[i] = 0x1000 + i;
  Context().MonitorWords("Link put:", words, 0);
  EXPECT_EQ(host.Err(), "");

  Context().MonitorWords("Link got:", words, 3);
  EXPECT_EQ(host.Err(), "MON: Link got: 3 words\n 00001000 00001001 00001002\n");

  host.Clear();
  Context().MonitorWords("Link put:", words, 40);
  std::string expected = "MON: Link put: 40 words\n";
  for (int line = 0; line < 4; ++line) {
    for (int i = 0; i < 8; ++i) {
      char word[16];
      std::snprintf(word, sizeof word, " %08x", 0x1000 + line * 8 + i);
      expected += word;
    }
    expected += "\n";
  }
  EXPECT_EQ(host.Err(), expected);
}

TEST_F(ServerContextTest, CommandLineKeepsAtMost254Characters) {
  std::string longLine(300, 'a');
  Context().SetCommandLine(longLine.c_str());
  EXPECT_EQ(std::string(Context().CommandLine()), std::string(254, 'a'));
  EXPECT_EQ(options.CommandLine[254], '\0');
  EXPECT_EQ(Context().CommandLineLimit(), 254);
}

TEST_F(ServerContextTest, StandardErrorMergedIntoAnOutputFileIsNotShown) {
  options.StdOut.Log = 0;
  options.StdOut.File = 1;
  SetName(options.StdOut, dir.File("out.txt"));
  options.StdErr.Merge = 1;
  Context().OpenRedirections();
  Write("first\n", false);
  Write("*** Software exception\n", true);
  Context().Monitor("service %s", "A1.1.1 (00000101)");
  Context().CloseRedirections();
  EXPECT_EQ(ReadFile(dir.File("out.txt")), "first\n*** Software exception\nMON: service A1.1.1 (00000101)\n");
  EXPECT_EQ(host.All(), "");
  EXPECT_EQ(options.StdOut.Handle, nullptr);
}

TEST_F(ServerContextTest, MergedStandardErrorReachesTheHostAsStandardError) {
  options.StdErr.Merge = 1;
  options.StdErr.Log = 0;  // not consulted when merged
  Write("oops\n", true);
  EXPECT_EQ(host.Err(), "oops\n");
}

TEST_F(ServerContextTest, SeparateRoutesWithBothLogsOffDiscardSilently) {
  options.StdErr.File = 1;
  SetName(options.StdErr, dir.File("err.txt"));
  Context().OpenRedirections();
  Write("to terminal\n", false);
  Write("to file and terminal\n", true);
  options.StdOut.Log = 0;
  options.StdErr.Log = 0;
  Write("lost\n", false);
  Write("file only\n", true);
  Context().CloseRedirections();
  EXPECT_EQ(host.Out(), "to terminal\n");
  EXPECT_EQ(host.Err(), "to file and terminal\n");
  EXPECT_EQ(ReadFile(dir.File("err.txt")), "to file and terminal\nfile only\n");
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(ServerContextTest, MissingInputFileShowsItsBoxAndReadsAsEndOfInput) {
  std::string missing = dir.File("no-such-input.txt");
  options.StdIn.Log = 0;
  SetName(options.StdIn, missing);
  Context().OpenRedirections();
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot read from " + missing + "\nCheck View/Options/Standard I/O");
  EXPECT_EQ(boxes[0].caption, "Standard I/O");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].owner, host.window);
  char line[32] = "stale";
  EXPECT_EQ(Context().ReadLine(line, sizeof line), 0);
  EXPECT_STREQ(line, "");
}

TEST_F(ServerContextTest, OutputFilesThatCannotBeOpenedNameTheirVerb) {
  options.StdOut.File = 1;
  options.StdOut.Append = 1;
  SetName(options.StdOut, dir.File("missing-dir/out.txt"));
  options.StdErr.File = 1;
  SetName(options.StdErr, dir.File("missing-dir/err.txt"));
  Context().OpenRedirections();
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "Cannot append to " + dir.File("missing-dir/out.txt") + "\nCheck View/Options/Standard I/O");
  EXPECT_EQ(boxes[1].text,
            "Cannot write to " + dir.File("missing-dir/err.txt") + "\nCheck View/Options/Standard I/O");
  Write("still shown\n", false);
  EXPECT_EQ(host.Out(), "still shown\n");
}

TEST_F(ServerContextTest, OutputFileThatLosesTextIsReportedWhenClosed) {
  options.StdOut.File = 1;
  options.StdOut.Log = 1;
  SetName(options.StdOut, "/dev/full");
  options.StdErr.File = 1;
  SetName(options.StdErr, dir.File("err.txt"));
  Context().OpenRedirections();
  ASSERT_TRUE(ui.Boxes().empty());
  Write("lost in the file\n", false);
  Write("kept\n", true);
  EXPECT_EQ(host.Out(), "lost in the file\n") << "the terminal still gets it";
  Context().CloseRedirections();
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u) << "only the file that lost text";
  EXPECT_EQ(boxes[0].text, "Cannot write to /dev/full\nCheck View/Options/Standard I/O");
  EXPECT_EQ(boxes[0].caption, "Standard I/O");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(ReadFile(dir.File("err.txt")), "kept\n");
  EXPECT_EQ(options.StdOut.Handle, nullptr);

  // Closed once, reported once.
  Context().CloseRedirections();
  EXPECT_EQ(ui.Boxes().size(), 1u);
}

TEST_F(ServerContextTest, ReadsLinesFromTheHostOrFromAFile) {
  host.QueueLine("typed\n");
  char line[16];
  EXPECT_EQ(Context().ReadLine(line, sizeof line), 6);
  EXPECT_EQ(std::string(line, 6), "typed\n");

  {
    std::ofstream in(dir.File("in.txt"));
    in << "abcdef\nxy\n";
  }
  options.StdIn.Log = 0;
  SetName(options.StdIn, dir.File("in.txt"));
  Context().OpenRedirections();
  EXPECT_EQ(Context().ReadLine(line, 4), 3);  // at most size - 1 characters
  EXPECT_STREQ(line, "abc");
  EXPECT_EQ(Context().ReadLine(line, sizeof line), 4);
  EXPECT_STREQ(line, "def\n");
  EXPECT_EQ(Context().ReadLine(line, sizeof line), 3);
  EXPECT_STREQ(line, "xy\n");
  EXPECT_EQ(Context().ReadLine(line, sizeof line), 0);
  Context().CloseRedirections();
  EXPECT_EQ(options.StdIn.Handle, nullptr);
}

// A read of standard input waits for the writer of a FIFO; a monitor line
// from another thread (a signal's) meanwhile goes to its file at once.
TEST_F(ServerContextTest, WaitingForInputDoesNotHoldUpOtherThreads) {
  std::string fifo = dir.File("in.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  options.StdIn.Log = 0;
  SetName(options.StdIn, fifo);
  options.StdErr.File = 1;
  options.StdErr.Log = 0;
  SetName(options.StdErr, dir.File("err.txt"));
  int writer = -1;
  std::thread opener([&] { writer = open(fifo.c_str(), O_WRONLY); });
  Context().OpenRedirections();
  opener.join();
  ASSERT_GE(writer, 0);

  char line[16] = {};
  std::thread reader([&] { Context().ReadLine(line, sizeof line); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the reader blocks
  auto monitored = std::async(std::launch::async, [&] { Context().Monitor("from another thread"); });
  bool done = monitored.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  EXPECT_TRUE(done) << "the monitor line waited for input";
  ASSERT_EQ(write(writer, "typed\n", 6), 6);
  reader.join();
  monitored.wait();
  close(writer);
  EXPECT_STREQ(line, "typed\n");
  Context().CloseRedirections();
  EXPECT_EQ(ReadFile(dir.File("err.txt")), "MON: from another thread\n");
}

TEST_F(ServerContextTest, AppendKeepsEveryRunWhileWriteRewrites) {
  options.StdOut.File = 1;
  options.StdOut.Append = 1;
  SetName(options.StdOut, dir.File("log.txt"));
  for (const char* text : {"run one\n", "run two\n"}) {
    Context().OpenRedirections();
    Write(text, false);
    Context().CloseRedirections();
  }
  EXPECT_EQ(ReadFile(dir.File("log.txt")), "run one\nrun two\n");

  options.StdOut.Append = 0;
  Context().OpenRedirections();
  Write("run three\n", false);
  Context().CloseRedirections();
  EXPECT_EQ(ReadFile(dir.File("log.txt")), "run three\n");
}

TEST_F(ServerContextTest, OutputAndErrorNamingOneFileShareItsHandle) {
  options.StdOut.File = 1;
  options.StdErr.File = 1;
  SetName(options.StdOut, dir.File("both.txt"));
  // Another spelling of the same file.
  SetName(options.StdErr, dir.Path().string() + "/./both.txt");
  for (int run = 0; run < 2; ++run) {
    Context().OpenRedirections();
    EXPECT_EQ(options.StdErr.Handle, options.StdOut.Handle);
    Write("out 1\n", false);
    Write("err 2\n", true);
    Write("out 3\n", false);
    Context().CloseRedirections();
    EXPECT_EQ(options.StdOut.Handle, nullptr);
    EXPECT_EQ(options.StdErr.Handle, nullptr);
  }
  EXPECT_EQ(ReadFile(dir.File("both.txt")), "out 1\nerr 2\nout 3\n");
}

TEST_F(ServerContextTest, HandlesSharedFromOutsideAreClosedOnce) {
  options.StdOut.Handle = std::fopen(dir.File("shared.txt").c_str(), "w");
  ASSERT_NE(options.StdOut.Handle, nullptr);
  options.StdErr.Handle = options.StdOut.Handle;
  Write("a", false);
  Write("b", true);
  Context().CloseRedirections();
  EXPECT_EQ(options.StdErr.Handle, nullptr);
  EXPECT_EQ(options.StdOut.Handle, nullptr);
  EXPECT_EQ(ReadFile(dir.File("shared.txt")), "ab");
}

TEST_F(ServerContextTest, LongTextsWithoutTerminatorReachTheHostWhole) {
  std::string text(3000, 'q');
  text += "end";
  Context().WriteText(text.data(), text.size(), false);
  EXPECT_EQ(host.Out(), text);
}

}  // namespace
}  // namespace veltra
