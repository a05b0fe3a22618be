// The main window's title: the instance number (from the second instance
// on), then the application's path or a note that none is selected.
#pragma once

#include <string>

namespace veltra {

std::string ApplicationTitle(int instanceCounter, const std::string& path);

}  // namespace veltra
