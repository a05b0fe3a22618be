// Opaque owner window of message boxes and target of the quit request.
// In a Qt program a handle is the window's QWidget*; the windows of the
// libraries take it as their parent only when it names a widget that exists.
#pragma once

namespace veltra {

struct Window;
using WindowHandle = Window*;

}  // namespace veltra
