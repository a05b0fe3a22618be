// Buffered console output, seen from the server's end of the link: which
// write requests leave, with what bytes, and when.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClientThread.h"
#include "FakeServer.h"
#include "veltra_target.h"

namespace veltra::test {
namespace {

constexpr uint32_t kStdoutHandle = 11;
constexpr uint32_t kStderrHandle = 12;
constexpr uint32_t kStdinHandle = 10;

class ConsoleBufferingTest : public ::testing::Test {
 protected:
  void SetUp() override { vt_attach_fd(server.ClientFd()); }

  // Serves a console open (service 3 for input, 4 for output).
  void ServeOpen(uint32_t service, uint32_t selector, uint32_t handle) {
    ASSERT_EQ(server.BeginRequest(), service);
    EXPECT_EQ(server.Word(), selector);
    server.EndRequest();
    server.Send(FakeServer::Reply().Word(handle), 0);
  }

  // Takes one write request (service 13) for handle and answers it; a short
  // count answers a failed write.
  std::string ServeWrite(uint32_t handle, bool fail = false) {
    EXPECT_EQ(server.BeginRequest(), 0x00Du);
    EXPECT_EQ(server.Word(), handle);
    std::string data = server.Bytes();
    server.EndRequest();
    server.Send(FakeServer::Reply().Word(fail ? 0u : static_cast<uint32_t>(data.size())), 0);
    return data;
  }

  FakeServer server;
};

TEST_F(ConsoleBufferingTest, StandardOutputGoesByLinesAndStandardErrorAtOnce) {
  ClientThread<std::vector<int>> client(server, [] {
    std::vector<int> results;
    results.push_back(vt_printf("one "));
    results.push_back(vt_printf("line\n"));
    results.push_back(vt_printf("two\nthree"));  // a newline anywhere sends all
    results.push_back(vt_printf("four"));
    results.push_back(vt_fflush(vt_stdout()));
    results.push_back(vt_fflush(nullptr));  // nothing left: no request
    results.push_back(vt_eprintf("e"));
    results.push_back(vt_eprintf("f"));
    return results;
  });
  ServeOpen(0x004, 0, kStdoutHandle);
  EXPECT_EQ(ServeWrite(kStdoutHandle), "one line\n");
  EXPECT_EQ(ServeWrite(kStdoutHandle), "two\nthree");
  EXPECT_EQ(ServeWrite(kStdoutHandle), "four");
  ServeOpen(0x004, 1, kStderrHandle);
  EXPECT_EQ(ServeWrite(kStderrHandle), "e");
  EXPECT_EQ(ServeWrite(kStderrHandle), "f");
  EXPECT_EQ(client.Get(), (std::vector<int>{4, 5, 9, 4, VT_OK, VT_OK, 1, 1}));
  EXPECT_TRUE(server.Quiet(100));
}

TEST_F(ConsoleBufferingTest, FullBuffersLeaveWhenFullAndLargeWritesGoStraightThrough) {
  std::string lines;
  for (int i = 0; i < 200; ++i) lines += "line " + std::to_string(1000 + i) + " of the buffering tst.\n";
  ASSERT_EQ(lines.size(), 200u * 32);
  const std::string large(9000, 'x');
  ClientThread<std::vector<int>> client(server, [&] {
    std::vector<int> results;
    results.push_back(vt_setvbuf(vt_stdout(), VT_IOFBF, 0));
    for (int i = 0; i < 200; ++i) vt_printf("line %d of the buffering tst.\n", 1000 + i);
    results.push_back(vt_fflush(vt_stdout()));
    // Whole buffers of a large write leave as they are; the rest waits.
    results.push_back(vt_fwrite(vt_stdout(), large.data(), large.size()));
    results.push_back(vt_fflush(vt_stdout()));
    // A smaller buffer.
    results.push_back(vt_setvbuf(vt_stdout(), VT_IOFBF, 10));
    results.push_back(vt_printf("0123456789abcde"));
    results.push_back(vt_fflush(nullptr));
    return results;
  });
  ServeOpen(0x004, 0, kStdoutHandle);
  std::string first = ServeWrite(kStdoutHandle);
  EXPECT_EQ(first.size(), 4096u);
  std::string second = ServeWrite(kStdoutHandle);
  EXPECT_EQ(first + second, lines);
  EXPECT_EQ(ServeWrite(kStdoutHandle), std::string(4096, 'x'));
  EXPECT_EQ(ServeWrite(kStdoutHandle), std::string(4096, 'x'));
  EXPECT_EQ(ServeWrite(kStdoutHandle), std::string(808, 'x'));
  EXPECT_EQ(ServeWrite(kStdoutHandle), "0123456789");
  EXPECT_EQ(ServeWrite(kStdoutHandle), "abcde");
  EXPECT_EQ(client.Get(), (std::vector<int>{VT_OK, VT_OK, VT_OK, VT_OK, VT_OK, 15, VT_OK}));
  EXPECT_TRUE(server.Quiet(100));
}

TEST_F(ConsoleBufferingTest, UnbufferedSendsEveryCall) {
  ClientThread<int> client(server, [] {
    int result = vt_setvbuf(vt_stdout(), VT_IONBF, 0);
    vt_printf("a");
    vt_printf("b");
    return result;
  });
  ServeOpen(0x004, 0, kStdoutHandle);
  EXPECT_EQ(ServeWrite(kStdoutHandle), "a");
  EXPECT_EQ(ServeWrite(kStdoutHandle), "b");
  EXPECT_EQ(client.Get(), VT_OK);
}

// What the application wrote first reaches the host first, across the two
// streams, console input, waits on the host and the end of the task.
TEST_F(ConsoleBufferingTest, BuffersLeaveBeforeAnythingThatCouldChangeTheirOrder) {
  ClientThread<std::string> client(server, [] {
    vt_setvbuf(vt_stdout(), VT_IOFBF, 0);
    vt_printf("out1\n");
    vt_setvbuf(vt_stderr(), VT_IOFBF, 0);
    vt_eprintf("err1\n");
    vt_printf("out2\n");
    vt_printf("name? ");
    char line[32] = {};
    vt_fgets(line, sizeof line, vt_stdin());
    vt_printf("more? ");
    char more[32] = {};
    vt_fgets(more, sizeof more, vt_stdin());
    vt_printf("hello %s", line);
    vt_wait_semaphore(3);
    vt_eprintf("done");
    vt_basalt_exit_task(0);
    return std::string(line);
  });
  ServeOpen(0x004, 0, kStdoutHandle);
  // Opening standard error is a request: standard output's line goes first.
  EXPECT_EQ(ServeWrite(kStdoutHandle), "out1\n");
  ServeOpen(0x004, 1, kStderrHandle);
  EXPECT_EQ(ServeWrite(kStderrHandle), "err1\n");
  // Opening standard input is the first request after the prompt.
  EXPECT_EQ(ServeWrite(kStdoutHandle), "out2\nname? ");
  ServeOpen(0x003, 0, kStdinHandle);
  ASSERT_EQ(server.BeginRequest(), 0x00Cu);
  EXPECT_EQ(server.Word(), kStdinHandle);
  server.Word();
  server.EndRequest();
  server.Send(FakeServer::Reply().Bytes("Ada\n"), 0);
  // Before every request for console input.
  EXPECT_EQ(ServeWrite(kStdoutHandle), "more? ");
  ASSERT_EQ(server.BeginRequest(), 0x00Cu);
  server.Word();
  server.Word();
  server.EndRequest();
  server.Send(FakeServer::Reply().Bytes("no\n"), 0);
  // Before the application waits for a signal.
  EXPECT_EQ(ServeWrite(kStdoutHandle), "hello Ada\n");
  EXPECT_TRUE(server.Quiet(100));
  server.SendSignal(1u << 3);
  // At the end of the task.
  EXPECT_EQ(ServeWrite(kStderrHandle), "done");
  ASSERT_EQ(server.BeginRequest(), 0x018u);
  EXPECT_EQ(server.Word(), 0u);
  server.EndRequest();
  server.SendResult(0);
  EXPECT_EQ(client.Get(), "Ada\n");
}

TEST_F(ConsoleBufferingTest, FailuresAndRefusals) {
  ClientThread<std::vector<int>> client(server, [] {
    std::vector<int> results;
    vt_setvbuf(vt_stdout(), VT_IOFBF, 0);
    results.push_back(vt_printf("lost"));       // buffered: nothing failed yet
    results.push_back(vt_fflush(vt_stdout()));  // the short write
    results.push_back(vt_fflush(vt_stdout()));  // the bytes are gone, not sent again
    results.push_back(vt_setvbuf(vt_stdout(), 7, 0));
    results.push_back(vt_setvbuf(nullptr, VT_IOFBF, 0));
    results.push_back(vt_setvbuf(vt_stdin(), VT_IOFBF, 0));
    return results;
  });
  ServeOpen(0x004, 0, kStdoutHandle);
  EXPECT_EQ(ServeWrite(kStdoutHandle, true), "lost");
  ServeOpen(0x003, 0, kStdinHandle);
  EXPECT_EQ(client.Get(),
            (std::vector<int>{4, VT_FAILURE, VT_OK, VT_E_ARGUMENT, VT_E_ARGUMENT, VT_E_ARGUMENT}));
  EXPECT_TRUE(server.Quiet(100));
}

}  // namespace
}  // namespace veltra::test
