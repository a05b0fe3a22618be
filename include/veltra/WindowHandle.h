// Opaque owner window of message boxes and target of the quit request.
#pragma once

namespace veltra {

struct Window;
using WindowHandle = Window*;

}  // namespace veltra
