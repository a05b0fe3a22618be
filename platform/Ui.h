// Message boxes, the quit request and GUI-thread calls, behind a backend the
// program installs at start: a Qt backend in the GUI host, a console backend
// in the headless runner, a recording backend in tests. Callable from any
// thread.
#pragma once

#include <functional>
#include <string>

#include "veltra/Export.h"
#include "veltra/WindowHandle.h"

namespace veltra {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

VELTRA_EXPORT const char* MessageIconName(MessageIcon icon);
VELTRA_EXPORT const char* MessageResultName(MessageResult result);

class VELTRA_EXPORT UiBackend {
 public:
  virtual ~UiBackend();
  virtual MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                   MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) = 0;
  virtual void PostQuit(WindowHandle owner) = 0;
  // Runs the function on the GUI thread and waits for it; inline without a GUI.
  virtual void Invoke(const std::function<void()>& function);
};

namespace Ui {

// Installs the process's backend (not owned); null restores the console one.
VELTRA_EXPORT void Install(UiBackend* backend);
VELTRA_EXPORT UiBackend& Current();

VELTRA_EXPORT MessageResult MessageBox(WindowHandle owner, const std::string& text,
                                       const std::string& caption, MessageIcon icon,
                                       MessageButtons buttons = MessageButtons::Ok,
                                       MessageResult defaultButton = MessageResult::Ok);
VELTRA_EXPORT void PostQuit(WindowHandle owner);
VELTRA_EXPORT void Invoke(const std::function<void()>& function);

}  // namespace Ui

}  // namespace veltra
