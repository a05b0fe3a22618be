// The text file "Save to file" writes: one line per point, "%f" followed by
// a line feed and a carriage return, in that order, no header.
#pragma once

#include <string>

namespace veltra {

class TraceFile {
 public:
  // Creates (or replaces) the file; false when it cannot be created or
  // written.
  static bool Write(const std::string& path, const double* values, long long count);
  // "%f" of a value, independent of the process's locale.
  static std::string FormatNumber(double value);
};

}  // namespace veltra
