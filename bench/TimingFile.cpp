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
    Timing timing;
    long long ns = 0;
    long long cpu = 0;
    if (fields >> name >> timing.count >> ns >> cpu >> timing.requests && name == phase && ns > 0) {
      timing.seconds = ns / 1e9;
      timing.appCpu = cpu / 1e6;
      found = timing;
    }
  }
  return found;
}

}  // namespace veltra::bench
