// The serve loop of one run: read a request word, find or load its cluster,
// dispatch, reply. Returns true when the serving flag was cleared (the
// application ended its last task, or the host halted the run), false when a
// missing cluster library ended the run; errors that end the run propagate
// as exceptions. The caller sets the serving flag before the run begins, so
// that a halt coming between that moment and the loop is not undone here.
#pragma once

#include <atomic>

#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/ServerContextImpl.h"
#include "veltra/RequestChannel.h"
#include "veltra/RequestFilter.h"

namespace veltra {

// The filter is loaded for each request no registered cluster serves, so one
// installed or removed by the host during the run applies from the next one.
bool ServeLoop(ServerContextImpl& context, RequestChannel& channel, ClusterRegistry& registry,
               const std::atomic<RequestFilter*>& filter);
// With one filter (or none) for the whole run.
bool ServeLoop(ServerContextImpl& context, RequestChannel& channel, ClusterRegistry& registry,
               RequestFilter* filter);

// "A1.%u.%d (%08lX)%s": the identification of a request in monitor lines.
void FormatRequestId(char* buffer, unsigned size, uint32_t word);

}  // namespace veltra
