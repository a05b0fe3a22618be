// The "Link_Interfaces" value: library paths, each followed by ';'.
#pragma once

#include <string>
#include <vector>

namespace veltra {

constexpr size_t kInterfaceListLimit = 4095;
constexpr size_t kLibraryPathLimit = 255;

// The paths in order; the first empty path ends the list.
std::vector<std::string> SplitInterfaceList(const std::string& list);

// The list without any path equal to path ignoring case, and, when adding,
// with path appended: a registered path moves to the end and is never listed
// twice. Paths too long to load are dropped.
std::string RegisterInterfacePath(const std::string& list, const std::string& path, bool add);

// A stored list cut to kInterfaceListLimit characters, at a path's end.
std::string LimitInterfaceList(const std::string& list);

}  // namespace veltra
