// Start-up of the GUI host, from process start until the main window is on
// screen and the first OpenApplication is queued, and the way out again.
#pragma once

#include <string>

namespace veltra {

// Runs the program; returns its exit status.
int RunHostrix(int argc, char** argv);

// The installation directory (ending in '/'): the machine key's "Veltra"
// value, else the directory above the running program's own. Empty when
// neither can be found.
std::string InstallationDirectory();

class SharedInstanceBlock;
// New Server Instance: starts the installation's bin/Hostrix with no
// arguments, as a full instance of its own.
void StartNewInstance(SharedInstanceBlock& shared);

}  // namespace veltra
