// The entry point of the options sheet module (PrefbookSheet.so):
//   extern "C" int RunOptionsSheet(OptionsManager* manager, WindowHandle owner,
//                                  char* reason, int reasonSize);
// Runs the sheet modally on the GUI thread over the manager's live record.
// Returns kSheetAccepted after OK (the caller then saves the record),
// kSheetCancelled after Cancel, kSheetFailed with the reason when it cannot be
// shown (no window system in the process).
#pragma once

#include "veltra/OptionsManager.h"
#include "veltra/WindowHandle.h"

namespace veltra {

constexpr int kSheetFailed = -1;
constexpr int kSheetCancelled = 0;
constexpr int kSheetAccepted = 1;

using RunOptionsSheetFunction = int (*)(OptionsManager* manager, WindowHandle owner, char* reason,
                                        int reasonSize);

}  // namespace veltra
