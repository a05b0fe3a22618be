// Every driver failure leaves this library as a QMXExc that says what went
// wrong, with an error code and the place in the source that raised it.
#pragma once

#include "veltra/Link.h"

namespace veltra::sim {

// Error codes of our own, numbered clear of errno values.
constexpr int kErrorNoApplication = 1001;
constexpr int kErrorLinkClosed = 1002;
constexpr int kErrorCancelled = 1003;
constexpr int kErrorLinkReset = 1004;

[[noreturn]] void ThrowLinkError(int error, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace veltra::sim

#define VELTRA_LINK_FAIL(error, ...) \
  ::veltra::sim::ThrowLinkError((error), __FILE_NAME__, __LINE__, __VA_ARGS__)
