// The program's command line: the first argument that is not a flag names
// the application file; "-exit" or "-EXIT" (exactly) asks the program to end
// when an automatic run ends. No other form is recognised.
#pragma once

#include <string>
#include <vector>

namespace veltra {

struct HostCommandLine {
  std::string application;
  bool exitFlag = false;
};

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args);

// Scanning back from the last character, a '.' met before any '/', ':' or
// '\\' means the name has an extension.
bool HasExtension(const std::string& name);
// The name with ".app" appended when it has no extension.
std::string WithApplicationExtension(const std::string& name);

// Why the application file cannot be opened, or empty when it can: too long
// a path, a directory, or a file that cannot be read.
std::string ApplicationFileProblem(const std::string& path);

}  // namespace veltra
