// Block framing, reply parsing, signals and link failures of the run-time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "ClientThread.h"
#include "FakeServer.h"
#include "veltra_target.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;

std::string Filler(size_t n, char seed) {
  std::string text(n, '\0');
  for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>(seed + i % 53);
  return text;
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { vt_attach_fd(server.ClientFd()); }
  FakeServer server;
};

TEST_F(LinkTest, ByteStringsAndDoublesNeverStraddleBlocks) {
  // Request word, one word and a string that fills the block to 8292 exactly.
  const std::string exact = Filler(8280, 'a');
  ClientThread<int32_t> fill(server, [&] {
    vt_begin(0x77, 1, 0);
    vt_put_word(1);
    vt_put_bytes(exact.data(), static_cast<uint32_t>(exact.size()));
    return vt_call();
  });
  EXPECT_EQ(server.BeginRequest(), 0x7701u);
  EXPECT_EQ(server.Word(), 1u);
  EXPECT_EQ(server.Bytes(), exact);
  server.EndRequest();
  EXPECT_EQ(server.BlockSizes(), std::vector<size_t>{8292});
  server.SendResult(5);
  EXPECT_EQ(fill.Get(), 5);

  // One byte more: the string no longer fits and starts the next block.
  const std::string over = Filler(8281, 'b');
  ClientThread<int32_t> split(server, [&] {
    vt_begin(0x77, 2, 0);
    vt_put_word(2);
    vt_put_bytes(over.data(), static_cast<uint32_t>(over.size()));
    vt_put_word(3);
    return vt_call();
  });
  EXPECT_EQ(server.BeginRequest(), 0x7702u);
  EXPECT_EQ(server.Word(), 2u);
  EXPECT_EQ(server.Bytes(), over);
  EXPECT_EQ(server.Word(), 3u);
  server.EndRequest();
  // The string starts the second block; the word after it still fits there.
  EXPECT_EQ(server.BlockSizes(), (std::vector<size_t>{8, 8292}));
  server.SendResult(0);
  EXPECT_EQ(split.Get(), 0);

  // The longest string takes a block of its own after the request word.
  const std::string longest = Filler(VT_BYTES_MAX, 'c');
  ClientThread<int32_t> alone(server, [&] {
    vt_begin(0x77, 3, 0);
    vt_put_bytes(longest.data(), static_cast<uint32_t>(longest.size()));
    return vt_call();
  });
  server.BeginRequest();
  EXPECT_EQ(server.Bytes(), longest);
  server.EndRequest();
  EXPECT_EQ(server.BlockSizes(), (std::vector<size_t>{4, 8292}));
  server.SendResult(0);
  alone.Get();

  // A double that would end 4 bytes past the limit moves to the next block;
  // the first block stops short rather than being padded.
  ClientThread<int32_t> words(server, [&] {
    vt_begin(0x77, 4, 0);
    for (uint32_t i = 0; i < 2071; ++i) vt_put_word(i);
    vt_put_double(2.5);
    return vt_call();
  });
  server.BeginRequest();
  for (uint32_t i = 0; i < 2071; ++i) ASSERT_EQ(server.Word(), i);
  EXPECT_EQ(server.Double(), 2.5);
  server.EndRequest();
  EXPECT_EQ(server.BlockSizes(), (std::vector<size_t>{8288, 8}));
  server.SendResult(0);
  words.Get();
}

TEST_F(LinkTest, ValuesAreLaidOutAsTheServerReadsThem) {
  ClientThread<int32_t> client(server, [] {
    vt_begin(VT_CLUSTER_CORE, 4, 0);
    vt_put_bytes("abcde", 5);
    vt_put_word(0x11223344);
    vt_put_double(std::numbers::pi);
    vt_put_bytes("", 0);
    return vt_call();
  });
  std::vector<uint8_t> block = server.ReadBlock();
  ASSERT_EQ(block.size(), 4u + 4 + 8 + 4 + 8 + 4);
  auto word = [&](size_t at) {
    return uint32_t(block[at]) | uint32_t(block[at + 1]) << 8 | uint32_t(block[at + 2]) << 16 |
           uint32_t(block[at + 3]) << 24;
  };
  EXPECT_EQ(word(0), 0x104u);
  EXPECT_EQ(word(4), 5u);
  EXPECT_EQ(std::string(block.begin() + 8, block.begin() + 13), "abcde");
  EXPECT_EQ(word(16), 0x11223344u);  // after three bytes of padding
  EXPECT_EQ(word(20), 0x54442D18u);  // pi: low word first
  EXPECT_EQ(word(24), 0x400921FBu);
  EXPECT_EQ(word(28), 0u);
  server.SendResult(0);
  client.Get();
}

TEST_F(LinkTest, OversizedByteStringSpoilsTheRequestWithoutSendingIt) {
  const std::string tooLong = Filler(VT_BYTES_MAX + 1, 'd');
  ClientThread<int32_t> client(server, [&] {
    vt_begin(0x77, 5, 0);
    vt_put_word(1);
    vt_put_bytes(tooLong.data(), static_cast<uint32_t>(tooLong.size()));
    return vt_call();
  });
  EXPECT_EQ(client.Get(), VT_E_ARGUMENT);
  EXPECT_TRUE(server.Quiet(100));

  // The link is still in step.
  ClientThread<int32_t> next(server, [] {
    vt_begin(0x77, 6, 0);
    return vt_call();
  });
  EXPECT_EQ(server.BeginRequest(), 0x7706u);
  server.EndRequest();
  server.SendResult(9);
  EXPECT_EQ(next.Get(), 9);
}

TEST_F(LinkTest, ReplyValuesAreReadWithinTheReplyBlock) {
  struct Seen {
    int32_t result;
    uint32_t word;
    std::string bytes;
    uint32_t count;
    double value;
    int afterEnd;
  };
  ClientThread<Seen> client(server, [] {
    Seen seen{};
    vt_begin(0x77, 7, 0);
    seen.result = vt_call();
    vt_get_word(&seen.word);
    char buffer[2];
    vt_get_bytes(buffer, sizeof buffer, &seen.count);  // truncated copy, full count
    seen.bytes.assign(buffer, sizeof buffer);
    vt_get_double(&seen.value);
    uint32_t extra;
    seen.afterEnd = vt_get_word(&extra);  // the result word is not a value
    return seen;
  });
  server.BeginRequest();
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(7).Bytes("abc").Double(-0.125), 42);
  Seen seen = client.Get();
  EXPECT_EQ(seen.result, 42);
  EXPECT_EQ(seen.word, 7u);
  EXPECT_EQ(seen.count, 3u);
  EXPECT_EQ(seen.bytes, "ab");
  EXPECT_EQ(seen.value, -0.125);
  EXPECT_EQ(seen.afterEnd, -1);

  // A count that runs past the block yields nothing.
  ClientThread<int> bad(server, [] {
    vt_begin(0x77, 8, 0);
    vt_call();
    char buffer[64];
    uint32_t count = 99;
    int r = vt_get_bytes(buffer, sizeof buffer, &count);
    return r == -1 && count == 0 && vt_reply_remaining() == 0 ? 1 : 0;
  });
  server.BeginRequest();
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(100).Word(1).Word(2), 0);
  EXPECT_EQ(bad.Get(), 1);
}

TEST_F(LinkTest, SignalsArrivingBeforeTheReplyAreKeptForPoll) {
  struct Seen {
    int32_t result;
    uint32_t first, again, other;
  };
  ClientThread<Seen> client(server, [] {
    Seen seen{};
    vt_begin(0x77, 9, 0);
    seen.result = vt_call();
    seen.first = vt_poll_signals(0x8);
    seen.again = vt_poll_signals(0x8);
    seen.other = vt_poll_signals(0xFFFFFFFF);
    return seen;
  });
  server.BeginRequest();
  server.EndRequest();
  server.SendSignal(0x8);
  server.SendSignal(0x1);
  server.SendResult(3);
  Seen seen = client.Get();
  EXPECT_EQ(seen.result, 3);
  EXPECT_EQ(seen.first, 0x8u);
  EXPECT_EQ(seen.again, 0u);
  EXPECT_EQ(seen.other, 0x1u);
}

TEST_F(LinkTest, PollTakesInWaitingSignalsWithoutBlocking) {
  ClientThread<uint32_t> idle(server, [] { return vt_poll_signals(0xFFFFFFFF); });
  EXPECT_TRUE(idle.FinishesWithin(2000));
  EXPECT_EQ(idle.Get(), 0u);

  server.SendSignal(1u << 4);
  server.SendSignal(1u << 9);
  ClientThread<std::vector<int>> client(server, [] {
    return std::vector<int>{vt_poll_semaphore(4), vt_poll_semaphore(4), vt_poll_semaphore(3),
                            vt_poll_semaphore(9)};
  });
  EXPECT_EQ(client.Get(), (std::vector<int>{1, 0, 0, 1}));
}

TEST_F(LinkTest, WaitBlocksUntilItsOwnSemaphore) {
  ClientThread<int> client(server, [] {
    vt_wait_semaphore(2);
    return vt_poll_semaphore(0);
  });
  EXPECT_FALSE(client.FinishesWithin(50));
  server.SendSignal(0x1);
  EXPECT_FALSE(client.FinishesWithin(100));
  // The mask arrives in two pieces.
  const uint8_t length[4] = {0x04, 0x00, 0x01, 0x00};
  server.SendRaw(length, sizeof length);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(client.FinishesWithin(20));
  const uint8_t mask[4] = {0x04, 0x00, 0x00, 0x00};
  server.SendRaw(mask, sizeof mask);
  EXPECT_EQ(client.Get(), 1);  // semaphore 0 stayed pending
}

TEST_F(LinkTest, NoReplyRequestsSendAndDoNotWait) {
  ClientThread<int32_t> client(server, [] {
    vt_begin(0x55, 3, VT_NO_REPLY);
    vt_put_word(9);
    return vt_call();
  });
  EXPECT_TRUE(client.FinishesWithin(2000));
  EXPECT_EQ(client.Get(), 0);
  EXPECT_EQ(server.BeginRequest(), 0x80005503u);
  EXPECT_EQ(server.Word(), 9u);
  server.EndRequest();

  // Ending a task with w != 0: bit 31 stays clear, the server sends nothing.
  ClientThread<int32_t> exitTask(server, [] { return vt_basalt_exit_task(1); });
  EXPECT_TRUE(exitTask.FinishesWithin(2000));
  EXPECT_EQ(server.BeginRequest(), 0x18u);
  EXPECT_EQ(server.Word(), 1u);
  server.EndRequest();
}

TEST_F(LinkTest, ReplyTricklingInByteByByteIsReassembled) {
  ClientThread<std::vector<uint32_t>> client(server, [] {
    vt_begin(0x77, 10, 0);
    int32_t result = vt_call();
    uint32_t a, b;
    vt_get_word(&a);
    vt_get_word(&b);
    return std::vector<uint32_t>{static_cast<uint32_t>(result), a, b, vt_poll_signals(0xFF)};
  });
  server.BeginRequest();
  server.EndRequest();
  const uint8_t bytes[] = {0x04, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0x00,  // signal 0x20
                           0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // reply: 1, 2, result 6
                           0x02, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
  for (uint8_t byte : bytes) {
    server.SendRaw(&byte, 1);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(client.Get(), (std::vector<uint32_t>{6, 1, 2, 0x20}));
}

using LinkDeathTest = LinkTest;

TEST_F(LinkDeathTest, LostServerEndsTheApplicationWithStatus127) {
  server.CloseServerEnd();
  EXPECT_EXIT(
      {
        vt_begin(VT_CLUSTER_CORE, 7, 0);
        vt_call();
      },
      ::testing::ExitedWithCode(127), "veltra: link (closed by|to) the server");
}

TEST_F(LinkDeathTest, BadReplyLengthEndsTheApplicationWithStatus127) {
  const uint8_t bad[] = {0x06, 0x00, 0x00, 0x00, 0, 0, 0, 0};
  server.SendRaw(bad, sizeof bad);
  EXPECT_EXIT(
      {
        vt_begin(VT_CLUSTER_CORE, 7, 0);
        vt_call();
      },
      ::testing::ExitedWithCode(127), "block length 00000006");
}

TEST(AttachDeathTest, MissingOrUnusableDescriptorEndsWithStatus127) {
  EXPECT_EXIT(
      {
        unsetenv("VELTRA_LINK_FD");
        vt_attach();
      },
      ::testing::ExitedWithCode(127), "VELTRA_LINK_FD is not set");
  EXPECT_EXIT(
      {
        setenv("VELTRA_LINK_FD", "seven", 1);
        vt_attach();
      },
      ::testing::ExitedWithCode(127), "not a descriptor number");
  EXPECT_EXIT(
      {
        setenv("VELTRA_LINK_FD", "999", 1);
        vt_attach();
      },
      ::testing::ExitedWithCode(127), "not an open descriptor");
  int file = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(file, 0);
  std::string number = std::to_string(file);
  EXPECT_EXIT(
      {
        setenv("VELTRA_LINK_FD", number.c_str(), 1);
        vt_attach();
      },
      ::testing::ExitedWithCode(127), "not a socket");
  ::close(file);
}

}  // namespace
}  // namespace veltra::test
