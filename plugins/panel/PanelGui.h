// The panels' thread: every window call from the server thread goes through
// Ui::Invoke, which runs it on the GUI thread and waits. Without a GUI (the
// headless runner) the call runs inline, and the first one makes a
// QApplication on Qt's off-screen platform, so no display is needed.
#pragma once

#include <functional>

namespace veltra::PanelGui {

// Runs function on the windows' thread and waits for it.
void Run(const std::function<void()>& function);
// True without a display: this library made the application object, or
// the windows are on the off-screen platform anyway.
bool Headless();

}  // namespace veltra::PanelGui
