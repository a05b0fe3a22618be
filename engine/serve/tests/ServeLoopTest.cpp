#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/serve/ServeLoop.h"
#include "engine/serve/tests/ServeTestSupport.h"
#include "veltra/ServerError.h"

namespace veltra {
namespace {

using test::Bytes;
using test::RequestWord;
using test::SampleCluster;
using test::Words;

constexpr int kSample = 9;
constexpr int kMissing = 0x7f0;

// Answers requests for cluster 0x7e0 itself: echoes one word, no result word.
class EchoFilter : public RequestFilter {
 public:
  bool Handle(int cluster, int service, bool replyWanted, RequestChannel* channel) override {
    wanted.push_back(replyWanted);
    services.push_back(service);
    if (cluster != 0x7e0) return false;
    channel->WriteWord(channel->ReadWord());
    return true;
  }
  std::vector<bool> wanted;
  std::vector<int> services;
};

class ServeLoopTest : public test::ServeFixture, public ::testing::Test {
 protected:
  enum class End { Returned, InputUsedUp };

  ServeLoopTest() { registry.Add(kSample, new SampleCluster); }

  // Serves until the loop returns or the scripted input is used up.
  End Serve(RequestFilter* filter = nullptr) {
    try {
      context.SetServing(true);
      ServeLoop(context, channel, registry, filter);
      return End::Returned;
    } catch (const QMXExc&) {
      return End::InputUsedUp;
    }
  }

  ClusterRegistry registry{&channel, &context, &options};
};

TEST_F(ServeLoopTest, ReplyIsTheHandlersWordsThenTheResult) {
  link.QueueBlock(Words({RequestWord(kSample, 1), 21}));
  link.QueueBlock(Words({RequestWord(kSample, 2)}));
  link.QueueBlock(Words({RequestWord(kSample, 1, true), 5}));  // no reply wanted
  link.QueueBlock(Words({RequestWord(kSample, 2)}));
  EXPECT_EQ(Serve(), End::InputUsedUp);
  auto writes = link.Writes();
  ASSERT_EQ(writes.size(), 6u);
  EXPECT_EQ(writes[0], Words({8}));
  EXPECT_EQ(writes[1], Words({42, 3}));
  EXPECT_EQ(writes[2], Words({4}));
  EXPECT_EQ(writes[3], Words({17}));
  EXPECT_EQ(writes[5], Words({17}));
  EXPECT_TRUE(context.IsServing());
}

TEST_F(ServeLoopTest, ArgumentsMayContinueInTheNextBlock) {
  link.QueueBlock(Words({RequestWord(kSample, 1)}));
  link.QueueBlock(Words({50}));
  EXPECT_EQ(Serve(), End::InputUsedUp);
  EXPECT_EQ(link.ReplyWords(0), (std::vector<uint32_t>{100, 3}));
}

TEST_F(ServeLoopTest, HandlerDecidesTheNoReplyFlag) {
  link.QueueBlock(Words({RequestWord(kSample, 4)}));  // writes a word, then asks for no reply
  link.QueueBlock(Words({RequestWord(0x7a1, 2)}));    // same from inside a library
  link.QueueBlock(Words({RequestWord(kSample, 1), 4}));
  EXPECT_EQ(Serve(), End::InputUsedUp);
  ASSERT_EQ(link.ReplyBlocks().size(), 1u);
  EXPECT_EQ(link.ReplyWords(0), (std::vector<uint32_t>{8, 3}));
}

TEST_F(ServeLoopTest, PresenceProbesAnswerZeroOr128) {
  link.QueueBlock(Words({RequestWord(kSample, 0)}));
  link.QueueBlock(Words({RequestWord(0x7a1, 0)}));
  link.QueueBlock(Words({RequestWord(kMissing, 0)}));
  link.QueueBlock(Words({RequestWord(kMissing, 0, true)}));
  link.QueueBlock(Words({RequestWord(0x7a3, 0)}));
  link.QueueBlock(Words({RequestWord(0x7a1, 1), 1}));
  EXPECT_EQ(Serve(), End::InputUsedUp);
  auto blocks = link.ReplyBlocks();
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_EQ(blocks[0], Words({0}));
  EXPECT_EQ(blocks[1], Words({0}));
  EXPECT_EQ(blocks[2], Words({128}));
  EXPECT_EQ(blocks[3], Words({128}));
  EXPECT_EQ(blocks[4], Words({2, 0}));  // the probed library stays registered
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(ServeLoopTest, MissingClusterEndsTheRunWithoutAReply) {
  link.QueueBlock(Words({RequestWord(kMissing, 3)}));
  link.QueueBlock(Words({RequestWord(kSample, 2)}));
  EXPECT_EQ(Serve(), End::Returned);
  EXPECT_FALSE(context.IsServing());
  EXPECT_TRUE(link.Writes().empty());
  EXPECT_EQ(link.PendingInput(), 8u);
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Cannot locate file \"Plexa_7f0.so\"\nto satisfy request for cluster 2032 service 3");
  EXPECT_EQ(boxes[0].caption, "Missing service cluster");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(boxes[0].owner, host.window);
}

TEST_F(ServeLoopTest, StopServingEndsTheLoopAfterTheReply) {
  link.QueueBlock(Words({RequestWord(kSample, 3)}));
  link.QueueBlock(Words({RequestWord(kSample, 2)}));
  EXPECT_EQ(Serve(), End::Returned);
  EXPECT_EQ(link.ReplyBlocks(), (std::vector<Bytes>{Words({0})}));
}

// A halt between the start of the run and the loop is kept: the loop serves
// nothing.
TEST_F(ServeLoopTest, StopBeforeTheLoopBeginsIsKept) {
  link.QueueBlock(Words({RequestWord(kSample, 3)}));
  context.SetServing(true);
  context.StopServing();
  EXPECT_TRUE(ServeLoop(context, channel, registry, nullptr));
  EXPECT_TRUE(link.ReplyBlocks().empty());
}

TEST_F(ServeLoopTest, NoServiceFromALibraryArrivesAsServerError) {
  link.QueueBlock(Words({RequestWord(0x7a2, 1)}));
  try {
    Serve();
    FAIL() << "no error";
  } catch (const ServerError& error) {
    EXPECT_STREQ(error.what(), "Throwing Cluster has no service number 77");
  }
  link.QueueBlock(Words({RequestWord(kSample, 5)}));
  try {
    Serve();
    FAIL() << "no error";
  } catch (const ServerError& error) {
    EXPECT_STREQ(error.what(), "Sample Cluster has no service number 5");
  }
  EXPECT_TRUE(link.Writes().empty());
}

TEST_F(ServeLoopTest, LibraryHandlersReadAndWriteThroughTheChannel) {
  Bytes request = Words({RequestWord(0x7a1, 3)});
  test::PutBytes(request, std::string(70, 'z'));  // more than the handler's 64 bytes
  link.QueueBlock(request);
  EXPECT_EQ(Serve(), End::InputUsedUp);
  Bytes expected = Words({64});
  expected.insert(expected.end(), 64, 'z');
  test::PutWord(expected, 70);
  EXPECT_EQ(link.ReplyBlocks(), (std::vector<Bytes>{expected}));
}

TEST_F(ServeLoopTest, FilterAnswersForUnregisteredClustersOnly) {
  EchoFilter filter;
  link.QueueBlock(Words({RequestWord(0x7e0, 6), 0xABCD}));
  link.QueueBlock(Words({RequestWord(kSample, 2)}));
  link.QueueBlock(Words({RequestWord(kMissing, 0, true)}));
  link.QueueBlock(Words({RequestWord(kMissing, 0)}));
  EXPECT_EQ(Serve(&filter), End::InputUsedUp);
  // Not asked for the registered cluster.
  EXPECT_EQ(filter.services, (std::vector<int>{6, 0, 0}));
  EXPECT_EQ(filter.wanted, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(link.ReplyBlocks(), (std::vector<Bytes>{Words({0xABCD}), Words({17}), Words({128})}));
}

TEST_F(ServeLoopTest, MonProtNamesEveryRequest) {
  options.MonProt = 1;
  link.QueueBlock(Words({RequestWord(kSample, 2, true)}));
  link.QueueBlock(Words({RequestWord(kSample, 0)}));
  EXPECT_EQ(Serve(), End::InputUsedUp);
  EXPECT_EQ(host.Err(), "MON: service A1.9.2 (80000902) [N]\nMON: service A1.9.0 (00000900)\n");

  char id[48];
  FormatRequestId(id, sizeof id, 0x00030103);
  EXPECT_STREQ(id, "A1.769.3 (00030103)");
  FormatRequestId(id, 8, 0xFFFFFFFF);  // cut to the buffer
  EXPECT_STREQ(id, "A1.6553");
}

}  // namespace
}  // namespace veltra
