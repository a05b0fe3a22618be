#include "LinkError.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace veltra::sim {

void ThrowLinkError(int error, const char* file, int line, const char* format, ...) {
  QMXExc exc{};
  exc.error = error;
  exc.line = line;
  std::snprintf(exc.file, sizeof exc.file, "%s", file);
  va_list args;
  va_start(args, format);
  std::vsnprintf(exc.message, sizeof exc.message, format, args);
  va_end(args);
  throw exc;
}

}  // namespace veltra::sim
