// Opening a document or a link the way the desktop would: through xdg-open,
// or the program named by $VELTRA_OPEN_COMMAND (runs without a desktop, and
// the tests, put their own there).
#pragma once

#include <string>

namespace veltra {

// Starts the opener for target with directory as its working directory and
// waits up to waitMilliseconds (events go on meanwhile) for its answer.
// False when it could not be started or said it failed within that time; an
// opener still busy then (one that stays with the viewer it started) counts as
// having succeeded, and is left to finish by itself.
bool ShellOpen(const std::string& target, const std::string& directory, int waitMilliseconds);

}  // namespace veltra
