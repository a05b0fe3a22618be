// The plug-in windows' thread: every window call from the server thread goes
// through Ui::Invoke, which runs it on the GUI thread and waits. Without a
// GUI (the headless runner) the call runs inline, and the first one makes a
// QApplication on Qt's off-screen platform, so no display is needed. The
// graph, control-panel and combined plug-ins share it.
#pragma once

#include <functional>

namespace veltra::WindowThread {

// Runs function on the windows' thread and waits for it.
void Run(const std::function<void()>& function);
// Handles the window messages queued so far, on the windows' thread.
void DispatchPending();
// For callers of the library interface: makes the application object on the
// calling thread when the program has none (off screen without a display).
void EnsureCallerApplication();
// True without a display: a plug-in made the application object, or the
// windows are on the off-screen platform anyway.
bool Headless();
// The end of a run. Without a GUI host the windows' thread is the run's own
// and ends with it, while Qt's process-wide caches, made on it, are torn down
// at exit from the main thread: their timers are stopped here, on theirs.
void RunEnded();

}  // namespace veltra::WindowThread
