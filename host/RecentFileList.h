// The recent-file list of the File menu: at most 15 paths, newest first,
// kept in the program's profile (section "Recent File List", "File1" on).
#pragma once

#include <string>
#include <vector>

namespace veltra {

class RecentFileList {
 public:
  static constexpr int kEntries = 15;
  static constexpr const char* kSection = "Recent File List";

  void Load();
  // Puts the path at the top (moving it when present) and stores the list.
  void Add(const std::string& path);
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  void Save() const;
  std::vector<std::string> entries_;
};

}  // namespace veltra
