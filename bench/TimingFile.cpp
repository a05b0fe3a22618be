#include "bench/TimingFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace veltra::bench {

void TimingFile::Clear() const {
  std::remove(path_.c_str());
}

std::optional<Timing> TimingFile::Take(const std::string& phase) const {
  std::ifstream file(path_);
  std::optional<Timing> found;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string name;
    long count = 0;
    long long ns = 0;
    if (fields >> name >> count >> ns && name == phase && ns > 0) found = Timing{count, ns / 1e9};
  }
  return found;
}

}  // namespace veltra::bench
