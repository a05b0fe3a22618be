#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServerContextImpl.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedLink.h"
#include "veltra/ServerError.h"

namespace veltra {
namespace {

using test::Bytes;
using test::PutBytes;
using test::PutDouble;
using test::PutWord;
using test::Words;

// Counts the Read calls, to hold the channel to two per block; can pause
// after every Write so that another writer gets a chance to slip in.
class CountingLink : public test::ScriptedLink {
 public:
  void Read(void* buffer, int count) override {
    ++reads;
    ScriptedLink::Read(buffer, count);
  }
  void Write(const void* buffer, int count) override {
    ScriptedLink::Write(buffer, count);
    if (slowWrites) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  std::atomic<int> reads{0};
  std::atomic<bool> slowWrites{false};
};

uint32_t WordAt(const Bytes& bytes, size_t offset) {
  uint32_t word;
  std::memcpy(&word, bytes.data() + offset, 4);
  return word;
}

class LinkChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { channel.SetLink(&link); }

  CountingLink link;
  test::RecordingHost host;
  OptionsRecord options = kDefaultOptions;
  ServerContextImpl context{&host, &options};
  LinkChannel channel{&context, &options};
};

TEST_F(LinkChannelTest, ReadsWordsDoublesAndByteStringsInOrder) {
  Bytes data = Words({7, 0xFFFFFFFF});
  PutDouble(data, 2.5);
  PutBytes(data, "hello");
  PutWord(data, 9);
  link.QueueBlock(data);
  EXPECT_EQ(channel.ReadWord(), 7);
  EXPECT_EQ(channel.ReadUnsigned(), 0xFFFFFFFFu);
  EXPECT_EQ(channel.ReadDouble(), 2.5);
  char text[16] = {};
  EXPECT_EQ(channel.ReadBytes(text), 5u);
  EXPECT_STREQ(text, "hello");
  EXPECT_EQ(channel.ReadWord(), 9);
  EXPECT_EQ(link.reads, 2);
  EXPECT_EQ(host.All(), "");
}

// The host may set the link while a run is in the middle of a request or a
// reply: neither loses its place.
TEST_F(LinkChannelTest, SettingTheLinkKeepsTheBlockInHand) {
  link.QueueBlock(Words({1, 2}));
  EXPECT_EQ(channel.ReadWord(), 1);
  channel.SetLink(&link);
  EXPECT_EQ(channel.ReadWord(), 2);
  channel.WriteWord(10);
  channel.SetLink(&link);
  channel.WriteWord(20);
  channel.Flush();
  EXPECT_EQ(link.ReplyBlocks(), (std::vector<Bytes>{Words({10, 20})}));
}

TEST_F(LinkChannelTest, BoundedReadCopiesWhatFitsAndSkipsTheRest) {
  Bytes data;
  PutBytes(data, "hello world");
  PutWord(data, 0x55);
  link.QueueBlock(data);
  char text[8];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(channel.ReadBytesBounded(text, 5), 11u);
  EXPECT_EQ(std::string(text, 8), "hello###");
  EXPECT_EQ(channel.ReadWord(), 0x55);
}

class BadLengthTest : public LinkChannelTest,
                      public ::testing::WithParamInterface<std::tuple<uint32_t, bool>> {};

TEST_P(BadLengthTest, EndsTheRunWithTheProtocolError) {
  auto [length, monLink] = GetParam();
  options.MonLink = monLink;
  link.QueueRaw(Words({length}));
  EXPECT_THROW(channel.ReadWord(), Stop);
  char expected[64];
  std::snprintf(expected, sizeof expected, "\nServer terminated: P5 protocol error: block size %08X\n",
                length);
  std::string monitor;
  if (monLink) {
    char line[64];
    std::snprintf(line, sizeof line, "MON: Bad transfer length: %08x\n", length);
    monitor = line;
  }
  EXPECT_EQ(host.Err(), monitor + expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BadLengthTest,
                         ::testing::Combine(::testing::Values(0u, 8296u, 6u), ::testing::Bool()));

TEST_F(LinkChannelTest, FullBlockIsAcceptedAndTheNextWordFetchesAnotherBlock) {
  Bytes full;
  for (uint32_t i = 0; i < LinkChannel::kMaxBlock / 4; ++i) PutWord(full, i);
  link.QueueBlock(full);
  link.QueueBlock(Words({42}));
  for (uint32_t i = 0; i < LinkChannel::kMaxBlock / 4; ++i) ASSERT_EQ(channel.ReadUnsigned(), i);
  EXPECT_EQ(link.PendingInput(), 8u);
  EXPECT_EQ(channel.ReadWord(), 42);
  EXPECT_EQ(link.reads, 4);
}

TEST_F(LinkChannelTest, DoubleRunningPastItsBlockIsAProtocolError) {
  link.QueueBlock(Words({1, 2, 3}));
  link.QueueBlock(Words({4}));
  channel.ReadWord();
  channel.ReadWord();
  EXPECT_THROW(channel.ReadDouble(), Stop);
  EXPECT_NE(host.Err().find("Server terminated: P5 protocol error: double crosses the end of its block"),
            std::string::npos);
  EXPECT_EQ(link.PendingInput(), 8u);  // the next block was not taken for it
}

TEST_F(LinkChannelTest, ByteStringRunningPastItsBlockCopiesNothing) {
  Bytes data = Words({12});  // twelve bytes announced, four present
  data.insert(data.end(), {'a', 'b', 'c', 'd'});
  link.QueueBlock(data);
  link.QueueBlock(data);
  char text[16];
  std::memset(text, '#', sizeof text);
  EXPECT_THROW(channel.ReadBytes(text), Stop);
  EXPECT_EQ(text[0], '#');
  EXPECT_NE(host.Err().find("P5 protocol error: byte string of 12 bytes crosses the end of its block"),
            std::string::npos);
  EXPECT_THROW(channel.ReadBytesBounded(text, sizeof text), Stop);
  EXPECT_EQ(text[0], '#');
}

TEST_F(LinkChannelTest, ReplyIsOneBlockInTwoWrites) {
  channel.WriteWord(-2);
  channel.WriteDouble(2.5);
  channel.WriteBytes(5, "abcde");
  channel.WriteUnsigned(0x80000001u);
  channel.Flush();
  Bytes data = Words({0xFFFFFFFE});
  PutDouble(data, 2.5);
  PutWord(data, 5);
  data.insert(data.end(), {'a', 'b', 'c', 'd', 'e', 0, 0, 0});
  PutWord(data, 0x80000001u);
  auto writes = link.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], Words({static_cast<uint32_t>(data.size())}));
  EXPECT_EQ(writes[1], data);

  channel.Flush();  // nothing written since: nothing sent
  EXPECT_EQ(link.Writes().size(), 2u);
}

TEST_F(LinkChannelTest, ReplyMayFillABlockButNotPassIt) {
  for (uint32_t i = 0; i < LinkChannel::kMaxBlock / 4; ++i) channel.WriteUnsigned(i);
  channel.Flush();
  ASSERT_EQ(link.ReplyBlocks().size(), 1u);
  EXPECT_EQ(link.ReplyBlocks()[0].size(), LinkChannel::kMaxBlock);
  EXPECT_EQ(WordAt(link.ReplyBlocks()[0], LinkChannel::kMaxBlock - 4), LinkChannel::kMaxBlock / 4 - 1);

  for (uint32_t i = 0; i < LinkChannel::kMaxBlock / 4; ++i) channel.WriteUnsigned(i);
  EXPECT_THROW(channel.WriteWord(1), Stop);
  EXPECT_NE(host.Err().find("Reply of 8296 bytes is longer than a block (8292 bytes)"), std::string::npos);

  static char big[9000];
  EXPECT_THROW(channel.WriteBytes(sizeof big, big), Stop);
  EXPECT_THROW(channel.WriteBytes(0xFFFFFFFFu, big), Stop);
  channel.Flush();  // the failed replies are gone
  EXPECT_EQ(link.Writes().size(), 2u);
}

TEST_F(LinkChannelTest, SignalsAreFramedAndShownWithMonLink) {
  options.MonLink = 1;
  channel.SignalSemaphore(3);
  auto writes = link.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], Words({0x10004}));
  EXPECT_EQ(writes[1], Words({8}));
  EXPECT_EQ(host.Err(), "MON: Link signal: 2 words\n 00010004 00000008\n");

  LinkChannel unlinked(&context, &options);
  unlinked.Signal(1);  // no link yet: ignored
  unlinked.SignalSemaphore(40);
  EXPECT_EQ(link.Writes().size(), 2u);
}

TEST_F(LinkChannelTest, MonLinkShowsBlocksGotAndPut) {
  options.MonLink = 1;
  link.QueueBlock(Words({0x101, 5}));
  channel.ReadWord();
  EXPECT_EQ(host.Err(), "MON: Link got: 2 words\n 00000101 00000005\n");
  host.Clear();
  for (uint32_t i = 0; i < 40; ++i) channel.WriteUnsigned(i);
  channel.Flush();
  std::string expected = "MON: Link put: 40 words\n";
  for (uint32_t line = 0; line < 4; ++line) {
    for (uint32_t i = 0; i < 8; ++i) {
      char word[16];
      std::snprintf(word, sizeof word, " %08x", line * 8 + i);
      expected += word;
    }
    expected += "\n";
  }
  EXPECT_EQ(host.Err(), expected);
}

TEST_F(LinkChannelTest, SignalsFromAnotherThreadNeverSplitAReply) {
  constexpr int kReplies = 200;
  constexpr uint32_t kWords = 64;
  link.slowWrites = true;
  std::atomic<bool> done{false};
  std::thread signaller([&] {
    for (int i = 0; i < 5000 && !done; ++i) channel.SignalSemaphore(1);
  });
  for (int reply = 0; reply < kReplies; ++reply) {
    for (uint32_t i = 0; i < kWords; ++i) channel.WriteUnsigned(static_cast<uint32_t>(reply) << 16 | i);
    channel.Flush();
  }
  done = true;
  signaller.join();

  // Walk the stream: every length word must be followed by its whole block.
  Bytes all = link.AllWritten();
  size_t at = 0;
  int replies = 0;
  int signals = 0;
  while (at < all.size()) {
    ASSERT_LE(at + 4, all.size());
    uint32_t length = WordAt(all, at);
    at += 4;
    if (length == LinkChannel::kSignalLength) {
      ASSERT_EQ(WordAt(all, at), 2u);
      at += 4;
      ++signals;
      continue;
    }
    ASSERT_EQ(length, kWords * 4);
    for (uint32_t i = 0; i < kWords; ++i)
      ASSERT_EQ(WordAt(all, at + 4 * i), static_cast<uint32_t>(replies) << 16 | i) << "reply " << replies;
    at += length;
    ++replies;
  }
  EXPECT_EQ(replies, kReplies);
  EXPECT_GT(signals, 0);
}

TEST_F(LinkChannelTest, FailedWriteReleasesTheWriteSemaphore) {
  link.FailNextWrite("link down");
  channel.WriteWord(1);
  EXPECT_THROW(channel.Flush(), QMXExc);
  channel.Signal(4);  // would wait for ever if the semaphore were still held
  EXPECT_EQ(link.Writes().size(), 2u);
}

TEST_F(LinkChannelTest, PassesDriverQueriesThrough) {
  EXPECT_EQ(channel.QueryDriverVersion(0), 7);
  EXPECT_EQ(channel.BeginLinkSync(), 10);
  EXPECT_EQ(channel.EndLinkSync(), 20);
  ASSERT_EQ(link.controls.size(), 2u);
  EXPECT_EQ(link.controls[0], std::make_pair(1, 8296));
  EXPECT_EQ(link.controls[1], std::make_pair(2, 0));
}

TEST_F(LinkChannelTest, DiscardForgetsAPartlyReadRequest) {
  link.QueueBlock(Words({1, 2, 3}));
  link.QueueBlock(Words({4}));
  EXPECT_EQ(channel.ReadWord(), 1);
  channel.Discard();
  EXPECT_EQ(channel.ReadWord(), 4);
}

}  // namespace
}  // namespace veltra
