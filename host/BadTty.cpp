#include "host/BadTty.h"

#include <cstdio>

namespace veltra {

const char* bad_tty::what() const {
  std::snprintf(text_, sizeof text_, "create tty fails %d", code_);
  return text_;
}

}  // namespace veltra
