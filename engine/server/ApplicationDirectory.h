// The directory an application runs in: the text of its path before the last
// separator. A path with a '/' is a path of this system, cut at its last '/'
// only (':' and '\\' are ordinary characters of names here); a path without
// one may be written for other systems and is cut at its last '\\' or ':'.
#pragma once

#include <string>

namespace veltra {

// Empty when the path has no directory part ("demo.app", "\\demo.app");
// "/demo.app" gives "/", the directory that path names here.
std::string ApplicationDirectory(const std::string& path);

// Makes the application's directory current; a path without a directory part
// leaves the current directory as it is. False when the change failed.
bool MakeApplicationDirectoryCurrent(const std::string& path);

// The path resolved against the current directory, so that it still names the
// same file once MakeApplicationDirectoryCurrent has changed directory. An
// absolute path, or one when the current directory is unknown, stays as it is.
std::string AbsoluteApplicationPath(const std::string& path);

}  // namespace veltra
