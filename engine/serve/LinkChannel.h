// The server's RequestChannel over a Link: fetches request blocks, builds
// each reply in place in one buffer and sends it as one block; sends signal
// blocks on the host's behalf under the write semaphore.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Semaphore.h"
#include "veltra/Link.h"
#include "veltra/OptionsRecord.h"
#include "veltra/RequestChannel.h"
#include "veltra/ServerContext.h"

namespace veltra {

class LinkChannel final : public RequestChannel {
 public:
  static constexpr uint32_t kMaxBlock = 8292;    // largest data block, bytes
  static constexpr uint32_t kBufferSize = 8296;  // block buffer, bytes
  static constexpr uint32_t kSignalLength = 0x10004;

  LinkChannel(ServerContext* context, const OptionsRecord* options);
  ~LinkChannel() override;

  // Storing a link also forgets any partly read request or unsent reply.
  void SetLink(Link* link);
  Link* GetLink() const;
  // Forgets a partly read request and an unsent reply, so that a new run
  // starts with a fresh block.
  void Discard();
  // Writes bytes already framed (a reconnect's notify block) in one link
  // write, under the write semaphore like every block, so that a host
  // semaphore's signal block never comes between them.
  void WriteFramed(const void* bytes, int count);

  int32_t ReadWord() override;
  void WriteWord(int32_t value) override;
  uint32_t ReadBytes(void* destination) override;
  void WriteBytes(uint32_t count, const void* source) override;
  double ReadDouble() override;
  void WriteDouble(double value) override;
  uint32_t ReadUnsigned() override;
  void WriteUnsigned(uint32_t value) override;
  void Signal(uint32_t mask) override;
  void SignalSemaphore(int n) override;
  void Flush() override;
  int QueryDriverVersion(int ignored) override;
  int BeginLinkSync() override;
  int EndLinkSync() override;
  uint32_t ReadBytesBounded(void* destination, uint32_t capacity) override;

 private:
  // Implementation details belong to the .cpp; see there.
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace veltra
