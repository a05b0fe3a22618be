// A Link for tests: replays queued request blocks and records every Write
// with its boundaries. It can be told to fail, or to block a Read until more
// input arrives or Cancel is called.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "veltra/Link.h"

namespace veltra::test {

using Bytes = std::vector<uint8_t>;

// Little-endian request building.
Bytes Words(std::initializer_list<uint32_t> words);
void PutWord(Bytes& out, uint32_t word);
void PutDouble(Bytes& out, double value);
void PutBytes(Bytes& out, const std::string& data);  // count, data, padding
Bytes Block(const Bytes& data);                      // length word + data
uint32_t RequestWord(int cluster, int service, bool noReply = false);

class ScriptedLink : public Link {
 public:
  enum class WhenEmpty { Throw, Block };

  ScriptedLink() = default;
  virtual ~ScriptedLink() = default;

  // Input.
  void QueueRaw(const Bytes& bytes);
  void QueueBlock(const Bytes& data) { QueueRaw(Block(data)); }
  void SetWhenEmpty(WhenEmpty mode);
  void FailNextWrite(const std::string& message);
  void CloseInput();  // reads past the queued input throw, as a closed socket does

  // Output.
  std::vector<Bytes> Writes() const;       // every Write call's bytes
  std::vector<Bytes> ReplyBlocks() const;  // data blocks, parsed from all writes
  std::vector<uint32_t> ReplyWords(size_t block) const;
  Bytes AllWritten() const;
  // Waits until at least count data blocks (signals not counted) were written.
  bool WaitForBlocks(size_t count, int milliseconds = 5000) const;
  bool WaitForReadBlocked(int milliseconds = 5000) const;
  size_t PendingInput() const;

  // Link.
  void Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  void Reset() override;
  void RunEnded() override;
  bool LoadFile(const char* path) override;
  void Cancel() override;
  int DriverVersion(char* name, int* major, int* minor) override;
  void ShowProperties() override {}
  int Control(int code, int value) override;
  const char* LoadError() override { return loadError_.c_str(); }

  // Behaviour and counters (set before a run; read after it).
  bool loadResult = true;
  std::string loadError_ = "scripted load failure";
  std::vector<std::string> loadedFiles;
  std::vector<std::pair<int, int>> controls;
  int resets = 0;
  int runsEnded = 0;
  int cancels = 0;

 private:
  [[noreturn]] void Throw(const char* message, int line);

  mutable std::mutex mutex_;  // guards every field below and the counters above
  mutable std::condition_variable changed_;
  std::deque<uint8_t> input_;
  std::vector<Bytes> writes_;
  WhenEmpty whenEmpty_ = WhenEmpty::Throw;
  bool cancelled_ = false;
  bool inputClosed_ = false;
  bool readBlocked_ = false;
  std::string failWrite_;
};

}  // namespace veltra::test
