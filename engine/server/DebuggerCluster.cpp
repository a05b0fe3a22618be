#include "engine/server/DebuggerCluster.h"

#include "engine/serve/ServerContextImpl.h"
#include "platform/Ui.h"
#include "veltra/RequestChannel.h"

namespace veltra {

const DebuggerCluster::Table DebuggerCluster::kHandlers = {
    nullptr,
    &DebuggerCluster::DiscardArguments,
    &DebuggerCluster::Nothing,
    &DebuggerCluster::Pause,
};

const char* const DebuggerCluster::kPauseText =
    "You have selected View/Options/Parameters/Debug Application, so your\n"
    "application has now paused to allow you to take control with a debugger\n"
    "(which should already be running in the \"Run Free\" state).\n\n"
    "At this point you would usually enter the debugger, load the application's\n"
    "symbol table, and select \"Go Main\".\n\n"
    "Press OK to allow the application to continue.";

int DebuggerCluster::DiscardArguments() {
  char first[1020];
  char second[1040];
  channel->ReadWord();
  channel->ReadWord();
  channel->ReadBytesBounded(first, sizeof first);
  channel->ReadBytesBounded(second, sizeof second);
  return 0;
}

int DebuggerCluster::Nothing() {
  return 0;
}

int DebuggerCluster::Pause() {
  // The option and the owner window live with the engine's own context.
  auto* engineContext = dynamic_cast<ServerContextImpl*>(context);
  if (!engineContext || !engineContext->Options() || !engineContext->Options()->Debug) return 0;
  HostCallbacks* host = engineContext->Host();
  Ui::MessageBox(host ? host->MainWindow() : nullptr, kPauseText, "Paused", MessageIcon::Information,
                 MessageButtons::Ok, MessageResult::Ok);
  return 0;
}

}  // namespace veltra
