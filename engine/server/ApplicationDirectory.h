// The directory an application runs in: the text of its path before the last
// separator. Paths may come with '/' as well as with the '\\' and ':' that
// application paths written for other systems carry.
#pragma once

#include <string>

namespace veltra {

// Empty when the path has no directory part ("demo.app", "\\demo.app");
// "/demo.app" gives "/", the directory that path names here.
std::string ApplicationDirectory(const std::string& path);

// Makes the application's directory current; a path without a directory part
// leaves the current directory as it is. False when the change failed.
bool MakeApplicationDirectoryCurrent(const std::string& path);

}  // namespace veltra
