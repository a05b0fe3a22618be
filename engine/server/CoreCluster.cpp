#include "engine/server/CoreCluster.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "veltra/RequestChannel.h"
#include "veltra/ServerContext.h"

namespace veltra {

const CoreCluster::Table CoreCluster::kHandlers = {
    nullptr,
    &CoreCluster::SoftwareException,
    &CoreCluster::ProgramNameAndArguments,
    &CoreCluster::SetProgramNameAndArguments,
    &CoreCluster::Echo,
    &CoreCluster::Sink,
    &CoreCluster::Source,
    &CoreCluster::LinkSynchronise,
};

const char* CoreCluster::SeverityName(uint32_t first) {
  switch (first & 15) {
    case 0:
      return "information";
    case 1:
      return "warning";
    case 2:
      return "error";
    case 3:
      return "fatal";
    default:
      return "unknown";
  }
}

int CoreCluster::SoftwareException() {
  uint32_t a = static_cast<uint32_t>(channel->ReadWord());
  int32_t b = channel->ReadWord();
  uint32_t c = static_cast<uint32_t>(channel->ReadWord());
  uint32_t d = static_cast<uint32_t>(channel->ReadWord());
  char text[128];
  int length =
      std::snprintf(text, sizeof text, "*** Software exception: %08X %08X %08X Processor=%d Severity=%s\n", a,
                    c, d, b, SeverityName(a));
  length = std::clamp(length, 0, static_cast<int>(sizeof text) - 1);
  context->Write(text, length, true);
  return 0;
}

int CoreCluster::ProgramNameAndArguments() {
  const char* name = context->ProgramName();
  const char* arguments;
  if (name) {
    arguments = context->Arguments();
  } else {
    name = context->ApplicationPath();
    arguments = context->CommandLine();
  }
  if (!name) name = "";
  if (!arguments) arguments = "";
  channel->WriteBytes(static_cast<uint32_t>(std::strlen(name)), name);
  channel->WriteBytes(static_cast<uint32_t>(std::strlen(arguments)), arguments);
  return 0;
}

int CoreCluster::SetProgramNameAndArguments() {
  context->ClearProgramOverride();
  bool kept = true;
  // A string longer than the buffer keeps its first kBufferSize bytes; the
  // rest is skipped so the arguments that follow are read in step.
  uint32_t count = channel->ReadBytesBounded(buffer_, kBufferSize);
  buffer_[std::min(count, kBufferSize)] = '\0';
  try {
    context->SetProgramName(buffer_);
  } catch (const std::bad_alloc&) {
    kept = false;
  }
  count = channel->ReadBytesBounded(buffer_, kBufferSize);
  buffer_[std::min(count, kBufferSize)] = '\0';
  try {
    context->SetArguments(buffer_);
  } catch (const std::bad_alloc&) {
    kept = false;
  }
  if (!kept || !context->ProgramName()) {
    context->ClearProgramOverride();
    return kCopyFailed;
  }
  return 0;
}

int CoreCluster::Echo() {
  uint32_t count = channel->ReadBytesBounded(buffer_, kBufferSize);
  channel->WriteBytes(std::min(count, kBufferSize), buffer_);
  return 0;
}

int CoreCluster::Sink() {
  channel->ReadBytesBounded(buffer_, kBufferSize);
  return 0;
}

int CoreCluster::Source() {
  static const char zeros[kBufferSize] = {};
  uint32_t count = channel->ReadUnsigned();
  // More than the buffer holds is refused rather than sent from beyond it.
  if (count > kBufferSize) {
    channel->WriteBytes(0, zeros);
    return kFailure;
  }
  channel->WriteBytes(count, zeros);
  return 0;
}

int CoreCluster::LinkSynchronise() {
  channel->BeginLinkSync();
  channel->Signal(0);
  channel->EndLinkSync();
  return 0;
}

}  // namespace veltra
