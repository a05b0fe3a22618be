// Steady-state serving must not touch the heap: a DSP application waits for
// every reply, and an allocation per request is time it loses (and, with a
// fragmenting allocator, memory the server keeps). These tests count every
// global operator new while the real serve loop, LinkChannel and built-in
// clusters answer the same request over and over through a link that itself
// never allocates.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServeLoop.h"
#include "engine/serve/ServerContextImpl.h"
#include "engine/server/BuiltinClusters.h"
#include "tests/support/CountingAllocator.h"
#include "tests/support/TempDir.h"
#include "veltra/HostCallbacks.h"
#include "veltra/Link.h"

namespace veltra {
namespace {

constexpr uint32_t kNoReply = 0x80000000u;

uint32_t Request(int cluster, int service) {
  return (static_cast<uint32_t>(cluster) << 8) | static_cast<uint32_t>(service);
}

// Builds a block's data in place; the words are little-endian as on the link.
class BlockBuilder {
 public:
  BlockBuilder& Word(uint32_t word) {
    std::memcpy(data_ + size_, &word, 4);
    size_ += 4;
    return *this;
  }
  BlockBuilder& Bytes(uint32_t count, char fill) {
    Word(count);
    uint32_t padded = (count + 3) & ~3u;
    std::memset(data_ + size_, fill, count);
    std::memset(data_ + size_ + count, 0, padded - count);
    size_ += padded;
    return *this;
  }
  BlockBuilder& Text(const char* text) {
    uint32_t count = static_cast<uint32_t>(std::strlen(text));
    Bytes(count, 0);
    std::memcpy(data_ + size_ - ((count + 3) & ~3u), text, count);
    return *this;
  }
  const uint8_t* Data() const { return data_; }
  uint32_t Size() const { return size_; }

 private:
  alignas(4) uint8_t data_[LinkChannel::kMaxBlock] = {};
  uint32_t size_ = 0;
};

// A link that plays one request block a given number of times and checks
// the shape of every reply, all in storage fixed at construction. After
// the last request has been read it stops the serve loop, which returns
// once that request is answered.
class LoopLink final : public Link {
 public:
  explicit LoopLink(ServerContextImpl& context) : context_(context) {}
  virtual ~LoopLink() = default;

  // replyLength: data bytes of every reply, 0 when none is wanted.
  void Play(const BlockBuilder& request, long times, uint32_t replyLength, int32_t result) {
    uint32_t length = request.Size();
    std::memcpy(block_, &length, 4);
    std::memcpy(block_ + 4, request.Data(), length);
    blockSize_ = length + 4;
    offset_ = 0;
    left_ = times;
    replyLength_ = replyLength;
    result_ = result;
    replies = 0;
    badReplies = 0;
    writing_ = false;
  }

  void Read(void* buffer, int count) override {
    if (offset_ == 0) {
      // The first read of a block: a new request begins.
      if (left_ <= 0) throw QMXExc{1, __LINE__, "LoopLink", "no request left"};
      if (--left_ == 0) context_.StopServing();
    }
    if (offset_ + static_cast<uint32_t>(count) > blockSize_)
      throw QMXExc{2, __LINE__, "LoopLink", "read past the request block"};
    std::memcpy(buffer, block_ + offset_, static_cast<size_t>(count));
    offset_ += static_cast<uint32_t>(count);
    if (offset_ == blockSize_) offset_ = 0;
  }

  // LinkChannel sends a block as its length word and then its data.
  void Write(const void* buffer, int count) override {
    if (!writing_) {
      uint32_t length = 0;
      if (count == 4) std::memcpy(&length, buffer, 4);
      if (count != 4 || length != replyLength_) ++badReplies;
      writing_ = true;
      return;
    }
    writing_ = false;
    ++replies;
    int32_t last = 0;
    if (count >= 4) std::memcpy(&last, static_cast<const uint8_t*>(buffer) + count - 4, 4);
    if (static_cast<uint32_t>(count) != replyLength_ || last != result_) ++badReplies;
    lastReplySize_ = std::min<uint32_t>(static_cast<uint32_t>(count), sizeof lastReply_);
    std::memcpy(lastReply_, buffer, lastReplySize_);
  }

  void Reset() override {}
  void RunEnded() override {}
  bool LoadFile(const char*) override { return true; }
  void Cancel() override {}
  int DriverVersion(char*, int*, int*) override { return 0; }
  void ShowProperties() override {}
  int Control(int, int) override { return 0; }
  const char* LoadError() override { return ""; }

  // The first word of the last reply.
  int32_t FirstReplyWord() const {
    int32_t word = 0;
    if (lastReplySize_ >= 4) std::memcpy(&word, lastReply_, 4);
    return word;
  }

  long replies = 0;
  long badReplies = 0;

 private:
  ServerContextImpl& context_;
  alignas(4) uint8_t block_[LinkChannel::kMaxBlock + 4] = {};
  uint32_t blockSize_ = 0;
  uint32_t offset_ = 0;
  long left_ = 0;
  uint32_t replyLength_ = 0;
  int32_t result_ = 0;
  bool writing_ = false;
  alignas(4) uint8_t lastReply_[16] = {};
  uint32_t lastReplySize_ = 0;
};

// Standard output goes to a redirection file; nothing reaches the host.
class SilentHost final : public HostCallbacks {
 public:
  void Output(const char*, bool) override { ++outputs; }
  int ReadLine(char*, int) override { return 0; }
  void RunFinished() override {}
  int Reserved(const char*, int value) override { return value; }
  WindowHandle MainWindow() override { return nullptr; }
  void ThreadStarted() override {}
  void ThreadEnding() override {}
  void SetInputTitle(const char*) override {}
  long outputs = 0;
};

struct Outcome {
  long allocations;
  long replies;
  long badReplies;
};

class AllocationTest : public ::testing::Test {
 protected:
  static constexpr long kWarmUp = 200;
  static constexpr long kMeasured = 5000;

  AllocationTest() {
    options.StdOut.Log = 0;
    options.StdOut.File = 1;
    std::snprintf(options.StdOut.Filename, sizeof options.StdOut.Filename, "%s",
                  dir.File("stdout.txt").c_str());
    context.OpenRedirections();
    channel.SetLink(&link);
    RegisterBuiltinClusters(registry);
  }
  ~AllocationTest() override { context.CloseRedirections(); }

  // Serves the request `times` times; false if the loop ended otherwise.
  bool Serve(const BlockBuilder& request, long times, uint32_t replyLength, int32_t result) {
    link.Play(request, times, replyLength, result);
    try {
      context.SetServing(true);
      ServeLoop(context, channel, registry, nullptr);
    } catch (const QMXExc& error) {
      ADD_FAILURE() << error.message;
      return false;
    }
    return true;
  }

  // Warms up, then counts the allocations of kMeasured more requests.
  Outcome Measure(const BlockBuilder& request, uint32_t replyLength, int32_t result = 0) {
    if (!Serve(request, kWarmUp, replyLength, result)) return {-1, 0, 0};
    long before = CountedAllocations();
    bool served = Serve(request, kMeasured, replyLength, result);
    long allocations = CountedAllocations() - before;
    if (!served) return {-1, 0, 0};
    return {allocations, link.replies, link.badReplies};
  }

  // A setup request answered once; returns the first word of its reply.
  int32_t Call(const BlockBuilder& request, uint32_t replyLength) {
    EXPECT_TRUE(Serve(request, 1, replyLength, 0));
    EXPECT_EQ(link.badReplies, 0);
    return link.FirstReplyWord();
  }

  test::TempDir dir;
  SilentHost host;
  OptionsRecord options = kDefaultOptions;
  ServerContextImpl context{&host, &options};
  LinkChannel channel{&context, &options};
  ClusterRegistry registry{&channel, &context, &options};
  LoopLink link{context};
};

TEST_F(AllocationTest, CoreRequestsAllocateNothingInSteadyState) {
  struct Case {
    const char* name;
    BlockBuilder request;
    uint32_t replyLength;
  };
  std::vector<Case> cases(5);
  cases[0] = {"echo of an empty string", {}, 8};
  cases[0].request.Word(Request(1, 4)).Bytes(0, 0);
  cases[1] = {"echo of 4096 bytes", {}, 4104};
  cases[1].request.Word(Request(1, 4)).Bytes(4096, 'e');
  cases[2] = {"sink of 4096 bytes", {}, 4};
  cases[2].request.Word(Request(1, 5)).Bytes(4096, 's');
  cases[3] = {"source of 4096 bytes", {}, 4104};
  cases[3].request.Word(Request(1, 6)).Word(4096);
  cases[4] = {"presence probe", {}, 4};
  cases[4].request.Word(Request(1, 0));

  for (const Case& c : cases) {
    Outcome outcome = Measure(c.request, c.replyLength);
    EXPECT_EQ(outcome.allocations, 0) << c.name;
    EXPECT_EQ(outcome.replies, kMeasured) << c.name;
    EXPECT_EQ(outcome.badReplies, 0) << c.name;
  }
}

TEST_F(AllocationTest, RequestsWithoutReplyAllocateNothingAndSendNothing) {
  BlockBuilder probe;
  probe.Word(Request(1, 0) | kNoReply);
  Outcome outcome = Measure(probe, 0);
  EXPECT_EQ(outcome.allocations, 0);
  EXPECT_EQ(outcome.replies, 0);
  EXPECT_EQ(outcome.badReplies, 0);

  BlockBuilder sink;
  sink.Word(Request(1, 5) | kNoReply).Bytes(100, 'n');
  outcome = Measure(sink, 0);
  EXPECT_EQ(outcome.allocations, 0);
  EXPECT_EQ(outcome.replies, 0);
}

TEST_F(AllocationTest, BasaltTimeAndWritesAllocateNothingInSteadyState) {
  BlockBuilder time;
  time.Word(Request(0, 28));
  Outcome outcome = Measure(time, 8);
  EXPECT_EQ(outcome.allocations, 0) << "time";
  EXPECT_EQ(outcome.replies, kMeasured);
  EXPECT_EQ(outcome.badReplies, 0);

  // A binary file opened for writing (type 0, access 1, create).
  std::string path = dir.File("bulk.bin");
  BlockBuilder open;
  open.Word(Request(0, 1)).Text(path.c_str()).Word(0).Word(1).Word(1).Word(0);
  int32_t file = Call(open, 8);
  ASSERT_GE(file, 0);
  BlockBuilder write;
  write.Word(Request(0, 13)).Word(static_cast<uint32_t>(file)).Bytes(4096, 'w');
  outcome = Measure(write, 8);
  EXPECT_EQ(outcome.allocations, 0) << "file write";
  EXPECT_EQ(outcome.replies, kMeasured);
  EXPECT_EQ(outcome.badReplies, 0);
  EXPECT_EQ(link.FirstReplyWord(), 4096);

  // Standard output, redirected to a file as veltra-run --stdout does.
  BlockBuilder console;
  console.Word(Request(0, 4)).Word(0);
  int32_t out = Call(console, 8);
  ASSERT_GE(out, 0);
  BlockBuilder line;
  line.Word(Request(0, 13)).Word(static_cast<uint32_t>(out)).Text("line 123456\n");
  outcome = Measure(line, 8);
  EXPECT_EQ(outcome.allocations, 0) << "console line";
  EXPECT_EQ(outcome.replies, kMeasured);
  EXPECT_EQ(outcome.badReplies, 0);
  EXPECT_EQ(host.outputs, 0);

  // What the requests wrote really arrived, so the loop did the work.
  context.CloseRedirections();
  BlockBuilder close;
  close.Word(Request(0, 11)).Word(static_cast<uint32_t>(file)).Word(0);
  Call(close, 4);
  std::error_code ec;
  EXPECT_EQ(std::filesystem::file_size(path, ec), 4096u * (kWarmUp + kMeasured));
  EXPECT_EQ(std::filesystem::file_size(dir.File("stdout.txt"), ec), 12u * (kWarmUp + kMeasured));
}

// The counter must see allocations where there are some: the program-name
// service keeps heap copies of what it is sent.
TEST_F(AllocationTest, CounterSeesAServiceThatAllocates) {
  BlockBuilder rename;
  rename.Word(Request(1, 3)).Text("a program name longer than any short string buffer").Text("arguments");
  Outcome outcome = Measure(rename, 4);
  EXPECT_GE(outcome.allocations, kMeasured);
  EXPECT_EQ(outcome.replies, kMeasured);
  EXPECT_EQ(outcome.badReplies, 0);
}

}  // namespace
}  // namespace veltra
