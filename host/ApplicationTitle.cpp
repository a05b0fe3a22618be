#include "host/ApplicationTitle.h"

#include <cstdio>

namespace veltra {

std::string ApplicationTitle(int instanceCounter, const std::string& path) {
  // Composed in a buffer of 256 characters, as the title always was.
  char title[256];
  int length = instanceCounter == 1
                   ? std::snprintf(title, sizeof title, "Veltra Server:    ")
                   : std::snprintf(title, sizeof title, "#%-2d Veltra Server:", instanceCounter);
  if (length < 0) length = 0;
  std::snprintf(title + length, sizeof title - static_cast<size_t>(length), "%s",
                path.empty() ? "<no Veltra application has been selected>" : path.c_str());
  return title;
}

}  // namespace veltra
