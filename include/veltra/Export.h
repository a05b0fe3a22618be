// Visibility of what crosses a library boundary. Everything else is hidden.
#pragma once

#define VELTRA_EXPORT __attribute__((visibility("default")))
#define VELTRA_C_EXPORT extern "C" VELTRA_EXPORT
