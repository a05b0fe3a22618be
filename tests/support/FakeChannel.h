// A RequestChannel that hands a cluster or a service the arguments of one
// request from a queue, as the link's request block would, and keeps the reply.
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "veltra/RequestChannel.h"

namespace veltra::test {

class FakeChannel : public RequestChannel {
 public:
  void Word(int32_t word) { items_.push_back({true, word, {}}); }
  void Bytes(const void* data, std::size_t size) {
    auto* bytes = static_cast<const unsigned char*>(data);
    items_.push_back({false, 0, std::vector<unsigned char>(bytes, bytes + size)});
  }
  // A text with its zero.
  void Text(const std::string& text) { Bytes(text.c_str(), text.size() + 1); }
  void Doubles(const std::vector<double>& values) { Bytes(values.data(), values.size() * sizeof(double)); }
  // Arguments the service did not read (the next block starts afresh).
  std::size_t Unread() const { return items_.size(); }
  void Clear() {
    items_.clear();
    words.clear();
    bytes.clear();
  }

  int32_t ReadWord() override {
    if (items_.empty() || !items_.front().isWord) return 0;
    int32_t word = items_.front().word;
    items_.pop_front();
    return word;
  }
  uint32_t ReadBytes(void* destination) override {
    auto count = static_cast<uint32_t>(Front().size());
    if (count > 0) std::memcpy(destination, Front().data(), count);
    items_.pop_front();
    return count;
  }
  uint32_t ReadBytesBounded(void* destination, uint32_t capacity) override {
    auto count = static_cast<uint32_t>(Front().size());
    if (count > 0 && capacity > 0)
      std::memcpy(destination, Front().data(), count < capacity ? count : capacity);
    items_.pop_front();
    return count;
  }
  void WriteWord(int32_t value) override { words.push_back(value); }
  void WriteBytes(uint32_t count, const void* source) override {
    auto* data = static_cast<const unsigned char*>(source);
    bytes.emplace_back(data, data + count);
  }
  double ReadDouble() override { return 0; }
  void WriteDouble(double) override {}
  uint32_t ReadUnsigned() override { return static_cast<uint32_t>(ReadWord()); }
  void WriteUnsigned(uint32_t value) override { words.push_back(static_cast<int32_t>(value)); }
  void Signal(uint32_t) override {}
  void SignalSemaphore(int) override {}
  void Flush() override {}
  int QueryDriverVersion(int) override { return 0; }
  int BeginLinkSync() override { return 0; }
  int EndLinkSync() override { return 0; }

  std::vector<int32_t> words;                     // reply words, in order
  std::vector<std::vector<unsigned char>> bytes;  // reply byte strings

 private:
  struct Item {
    bool isWord;
    int32_t word;
    std::vector<unsigned char> data;
  };
  const std::vector<unsigned char>& Front() {
    if (items_.empty() || items_.front().isWord) items_.push_front({false, 0, {}});
    return items_.front().data;
  }
  std::deque<Item> items_;
};

}  // namespace veltra::test
