#include "tests/support/ScriptedLink.h"

#include <chrono>
#include <cstring>

namespace veltra::test {

void PutWord(Bytes& out, uint32_t word) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(word >> (8 * i)));
}

Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) PutWord(out, w);
  return out;
}

void PutDouble(Bytes& out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  PutWord(out, static_cast<uint32_t>(bits));
  PutWord(out, static_cast<uint32_t>(bits >> 32));
}

void PutBytes(Bytes& out, const std::string& data) {
  PutWord(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  while (out.size() % 4) out.push_back(0xEE);  // padding content is unspecified
}

Bytes Block(const Bytes& data) {
  // Sized once and copied, rather than inserted: GCC 12 at -O3 takes the
  // insert into a fresh vector for a read of an empty region.
  Bytes out(4 + data.size());
  auto length = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
  if (!data.empty()) std::memcpy(out.data() + 4, data.data(), data.size());
  return out;
}

uint32_t RequestWord(int cluster, int service, bool noReply) {
  return (noReply ? 0x80000000u : 0u) | (static_cast<uint32_t>(cluster & 0xFFFF) << 8) |
         static_cast<uint32_t>(service & 0xFF);
}

void ScriptedLink::QueueRaw(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  changed_.notify_all();
}

void ScriptedLink::SetWhenEmpty(WhenEmpty mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  whenEmpty_ = mode;
}

void ScriptedLink::FailNextWrite(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  failWrite_ = message;
}

void ScriptedLink::CloseInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  inputClosed_ = true;
  changed_.notify_all();
}

void ScriptedLink::Throw(const char* message, int line) {
  QMXExc error{};
  error.error = 5;
  error.line = line;
  std::snprintf(error.file, sizeof error.file, "%s", "ScriptedLink.cpp");
  std::snprintf(error.message, sizeof error.message, "%s", message);
  throw error;
}

void ScriptedLink::Read(void* buffer, int count) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto* out = static_cast<uint8_t*>(buffer);
  while (input_.size() < static_cast<size_t>(count)) {
    if (cancelled_) {
      cancelled_ = false;
      lock.unlock();
      Throw("read cancelled", __LINE__);
    }
    if (whenEmpty_ == WhenEmpty::Throw || inputClosed_) {
      lock.unlock();
      Throw("no more scripted input", __LINE__);
    }
    readBlocked_ = true;
    changed_.notify_all();
    changed_.wait(lock);
    readBlocked_ = false;
  }
  for (int i = 0; i < count; ++i) {
    out[i] = input_.front();
    input_.pop_front();
  }
}

void ScriptedLink::Write(const void* buffer, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failWrite_.empty()) {
    std::string message = failWrite_;
    failWrite_.clear();
    Throw(message.c_str(), __LINE__);
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  writes_.emplace_back(in, in + count);
  changed_.notify_all();
}

void ScriptedLink::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++resets;
}

void ScriptedLink::RunEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++runsEnded;
  cancelled_ = false;
}

bool ScriptedLink::LoadFile(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  loadedFiles.emplace_back(path);
  return loadResult;
}

void ScriptedLink::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++cancels;
  cancelled_ = true;
  changed_.notify_all();
}

int ScriptedLink::DriverVersion(char* name, int* major, int* minor) {
  std::snprintf(name, 128, "%s", "Scripted link");
  *major = 1;
  *minor = 0;
  return 7;
}

int ScriptedLink::Control(int code, int value) {
  std::lock_guard<std::mutex> lock(mutex_);
  controls.emplace_back(code, value);
  return code * 10;
}

std::vector<Bytes> ScriptedLink::Writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

Bytes ScriptedLink::AllWritten() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Bytes all;
  for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
  return all;
}

namespace {

uint32_t WordAt(const Bytes& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Splits the written stream into data blocks; signal blocks are skipped.
std::vector<Bytes> ParseBlocks(const Bytes& all) {
  std::vector<Bytes> blocks;
  size_t at = 0;
  while (at + 4 <= all.size()) {
    uint32_t length = WordAt(all, at);
    at += 4;
    if (length == 0x10004) {
      at += 4;
      continue;
    }
    if (at + length > all.size()) break;
    blocks.emplace_back(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + length));
    at += length;
  }
  return blocks;
}

}  // namespace

std::vector<Bytes> ScriptedLink::ReplyBlocks() const {
  return ParseBlocks(AllWritten());
}

std::vector<uint32_t> ScriptedLink::ReplyWords(size_t block) const {
  auto blocks = ReplyBlocks();
  std::vector<uint32_t> words;
  if (block >= blocks.size()) return words;
  for (size_t i = 0; i + 4 <= blocks[block].size(); i += 4) words.push_back(WordAt(blocks[block], i));
  return words;
}

bool ScriptedLink::WaitForBlocks(size_t count, int milliseconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
    Bytes all;
    for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
    return ParseBlocks(all).size() >= count;
  });
}

bool ScriptedLink::WaitForReadBlocked(int milliseconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return readBlocked_; });
}

size_t ScriptedLink::PendingInput() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return input_.size();
}

}  // namespace veltra::test
