// Drives cluster 0 as the engine does: one request at a time through a
// LinkChannel and the serve loop over a scripted link, in a fresh current
// directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/basalt/BasaltCluster.h"
#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServeLoop.h"
#include "engine/serve/ServerContextImpl.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"
#include "veltra/Link.h"
#include "veltra/OptionsRecord.h"

namespace veltra::test {

// Arguments of one request.
class Args {
 public:
  Args& W(int64_t word) {
    PutWord(bytes_, static_cast<uint32_t>(word));
    return *this;
  }
  Args& S(const std::string& text) {
    PutBytes(bytes_, text);
    return *this;
  }
  const Bytes& Get() const { return bytes_; }

 private:
  Bytes bytes_;
};

// One reply block read front to back; the result is its last word.
class Reply {
 public:
  Reply() = default;
  explicit Reply(Bytes block) : block_(std::move(block)), present_(true) {}

  bool Present() const { return present_; }
  int32_t Result() const { return present_ && block_.size() >= 4 ? WordAt(block_.size() - 4) : -12345; }
  size_t Size() const { return block_.size(); }
  int32_t Word() {
    int32_t word = WordAt(at_);
    at_ += 4;
    return word;
  }
  std::string Text() {
    uint32_t count = static_cast<uint32_t>(Word());
    std::string text(block_.begin() + static_cast<long>(at_),
                     block_.begin() + static_cast<long>(at_ + count));
    at_ += (count + 3) / 4 * 4;
    return text;
  }
  // Words left before the result word.
  size_t WordsLeft() const { return (block_.size() - 4 - at_) / 4; }

 private:
  int32_t WordAt(size_t offset) const {
    if (offset + 4 > block_.size()) return -12345;
    return static_cast<int32_t>(block_[offset] | block_[offset + 1] << 8 | block_[offset + 2] << 16 |
                                static_cast<uint32_t>(block_[offset + 3]) << 24);
  }
  Bytes block_;
  size_t at_ = 0;
  bool present_ = false;
};

class BasaltTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    options_ = kDefaultOptions;
    context_ = std::make_unique<ServerContextImpl>(&host_, &options_);
    channel_ = std::make_unique<LinkChannel>(context_.get(), &options_);
    channel_->SetLink(&link_);
    registry_ = std::make_unique<ClusterRegistry>(channel_.get(), context_.get(), &options_);
    registry_->Add(0, new BasaltCluster());
  }

  void TearDown() override {
    EndRun();
    std::filesystem::current_path(previous_);
  }

  // Destroys the cluster as the end of a run does.
  void EndRun() { registry_.reset(); }

  // Sends one request for cluster 0 and serves it; the reply block, if any.
  // served_ tells whether serving went on after it.
  Reply Call(int service, const Args& args = Args(), bool noReply = false) {
    Bytes request;
    PutWord(request, RequestWord(0, service, noReply));
    request.insert(request.end(), args.Get().begin(), args.Get().end());
    size_t before = link_.ReplyBlocks().size();
    link_.QueueBlock(request);
    served_ = true;
    try {
      context_->SetServing(true);
      ServeLoop(*context_, *channel_, *registry_, nullptr);
      served_ = false;  // the loop ended by itself: serving stopped
    } catch (const QMXExc&) {
      // The script ran out: the loop was waiting for the next request.
    }
    auto blocks = link_.ReplyBlocks();
    return blocks.size() > before ? Reply(blocks.back()) : Reply();
  }

  int32_t Open(const std::string& name, int type, int access, int flags, int recordLength = 0) {
    Reply reply = Call(1, Args().S(name).W(type).W(access).W(flags).W(recordLength));
    EXPECT_EQ(reply.Result(), 0) << "opening " << name;
    return reply.Word();
  }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string W(int32_t word) { return std::string(reinterpret_cast<const char*>(&word), 4); }

  TempDir dir_;
  std::filesystem::path previous_;
  RecordingHost host_;
  ScriptedLink link_;
  OptionsRecord options_;
  std::unique_ptr<ServerContextImpl> context_;
  std::unique_ptr<LinkChannel> channel_;
  std::unique_ptr<ClusterRegistry> registry_;
  bool served_ = true;
};

}  // namespace veltra::test
