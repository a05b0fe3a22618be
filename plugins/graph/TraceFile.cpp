#include "plugins/graph/TraceFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace veltra {

std::string TraceFile::FormatNumber(double value) {
  // "%f" would follow the locale Qt sets up (a decimal comma in some); the
  // files and the dialog always use a point.
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  return std::string(text, result.ptr);
}

bool TraceFile::Write(const std::string& path, const double* values, long long count) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = true;
  for (long long k = 0; k < count && ok; ++k) {
    const std::string line = FormatNumber(values[k]) + "\n\r";
    ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  }
  return std::fclose(file) == 0 && ok;
}

}  // namespace veltra
