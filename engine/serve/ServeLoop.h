// The serve loop of one run: read a request word, find or load its cluster,
// dispatch, reply. Returns when the serving flag is cleared; errors that end
// the run propagate as exceptions.
#pragma once

#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/ServerContextImpl.h"
#include "veltra/RequestChannel.h"
#include "veltra/RequestFilter.h"

namespace veltra {

void ServeLoop(ServerContextImpl& context, RequestChannel& channel, ClusterRegistry& registry,
               RequestFilter* filter);

// "A1.%u.%d (%08lX)%s": the identification of a request in monitor lines.
void FormatRequestId(char* buffer, unsigned size, uint32_t word);

}  // namespace veltra
