#include "linkmgr/InterfaceList.h"

#include <strings.h>

namespace veltra {

std::vector<std::string> SplitInterfaceList(const std::string& list) {
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end == start) break;
    paths.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

std::string RegisterInterfacePath(const std::string& list, const std::string& path, bool add) {
  std::string result;
  for (const auto& registered : SplitInterfaceList(list)) {
    if (registered.size() > kLibraryPathLimit) continue;
    if (strcasecmp(registered.c_str(), path.c_str()) == 0) continue;
    result += registered;
    result += ';';
  }
  if (add) {
    result += path;
    result += ';';
  }
  return result;
}

std::string LimitInterfaceList(const std::string& list) {
  if (list.size() <= kInterfaceListLimit) return list;
  std::string cut = list.substr(0, kInterfaceListLimit);
  size_t end = cut.rfind(';');
  return end == std::string::npos ? std::string() : cut.substr(0, end + 1);
}

}  // namespace veltra
