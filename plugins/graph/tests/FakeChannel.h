// A RequestChannel that hands a cluster the arguments of one request from a
// queue, as the link's request block would, and keeps the reply words.
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "veltra/RequestChannel.h"

namespace veltra::test {

class FakeChannel : public RequestChannel {
 public:
  // Arguments of the next request, in order.
  void Word(int32_t word) { words_.push_back({true, word, {}}); }
  void Bytes(const void* data, std::size_t size) {
    auto* bytes = static_cast<const unsigned char*>(data);
    words_.push_back({false, 0, std::vector<unsigned char>(bytes, bytes + size)});
  }
  // A text with its zero.
  void Text(const std::string& text) { Bytes(text.c_str(), text.size() + 1); }
  void Doubles(const std::vector<double>& values) { Bytes(values.data(), values.size() * sizeof(double)); }
  // Arguments the service did not read (the next block starts afresh).
  std::size_t Unread() const { return words_.size(); }
  void Clear() { words_.clear(); }

  int32_t ReadWord() override {
    if (words_.empty() || !words_.front().isWord) return 0;
    int32_t word = words_.front().word;
    words_.pop_front();
    return word;
  }
  uint32_t ReadBytes(void* destination) override {
    uint32_t count = Front().size();
    if (count > 0) std::memcpy(destination, Front().data(), count);
    words_.pop_front();
    return count;
  }
  uint32_t ReadBytesBounded(void* destination, uint32_t capacity) override {
    uint32_t count = Front().size();
    uint32_t copied = count < capacity ? count : capacity;
    if (copied > 0) std::memcpy(destination, Front().data(), copied);
    words_.pop_front();
    return count;
  }
  void WriteWord(int32_t value) override { replies.push_back(value); }
  void WriteBytes(uint32_t, const void*) override {}
  double ReadDouble() override { return 0; }
  void WriteDouble(double) override {}
  uint32_t ReadUnsigned() override { return static_cast<uint32_t>(ReadWord()); }
  void WriteUnsigned(uint32_t value) override { replies.push_back(static_cast<int32_t>(value)); }
  void Signal(uint32_t) override {}
  void SignalSemaphore(int) override {}
  void Flush() override {}
  int QueryDriverVersion(int) override { return 0; }
  int BeginLinkSync() override { return 0; }
  int EndLinkSync() override { return 0; }

  std::vector<int32_t> replies;

 private:
  struct Item {
    bool isWord;
    int32_t word;
    std::vector<unsigned char> bytes;
  };
  const std::vector<unsigned char>& Front() {
    if (words_.empty() || words_.front().isWord) {
      words_.push_front({false, 0, {}});
    }
    return words_.front().bytes;
  }
  std::deque<Item> words_;
};

}  // namespace veltra::test
