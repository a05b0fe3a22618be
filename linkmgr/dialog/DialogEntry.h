// The entry point of the link manager's dialog module (WirehubDialog.so):
//   extern "C" int RunInterfaceDialog(LinkManager* manager, WindowHandle owner,
//                                     char* reason, int reasonSize);
// Runs "Veltra hardware interfaces" modally on the GUI thread. Returns
// kDialogAccepted when a board was chosen (the manager has stored it),
// kDialogCancelled, or kDialogFailed with the reason when no dialog can be
// shown (no window system in the process).
#pragma once

#include "veltra/LinkManager.h"
#include "veltra/WindowHandle.h"

namespace veltra {

constexpr int kDialogFailed = -1;
constexpr int kDialogCancelled = 0;
constexpr int kDialogAccepted = 1;

using RunInterfaceDialogFunction = int (*)(LinkManager* manager, WindowHandle owner, char* reason,
                                           int reasonSize);

}  // namespace veltra
