// Cluster 1: software exception reports, the program name and argument text,
// and link tests (echo, sink, source, synchronisation).
#pragma once

#include <cstdint>

#include "TableCluster.h"

namespace veltra {

class CoreCluster final : public TableCluster<CoreCluster, 7> {
 public:
  // The byte strings of these services go through buffers of this size.
  static constexpr uint32_t kBufferSize = 4096;
  // Result of a failed copy of the program name or arguments (service 3).
  static constexpr int kCopyFailed = 12;
  // Result of a source request for more bytes than the buffer holds.
  static constexpr int kFailure = 99;

  static const Table kHandlers;

  const char* Name() override { return "Core Cluster"; }

  // Severity name of a software exception report from its first argument.
  static const char* SeverityName(uint32_t first);

 private:
  int SoftwareException();
  int ProgramNameAndArguments();
  int SetProgramNameAndArguments();
  int Echo();
  int Sink();
  int Source();
  int LinkSynchronise();

  // Room for a terminating zero after a full buffer of text.
  char buffer_[kBufferSize + 1] = {};
};

}  // namespace veltra
