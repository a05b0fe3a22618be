#include "host/RecentFileList.h"

#include <algorithm>

#include "platform/settings/Profile.h"

namespace veltra {

namespace {

std::string EntryName(int i) {
  return "File" + std::to_string(i + 1);
}

}  // namespace

void RecentFileList::Load() {
  entries_.clear();
  for (int i = 0; i < kEntries; ++i) {
    std::string path = GetProfileString(kSection, EntryName(i));
    if (!path.empty()) entries_.push_back(path);
  }
}

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  entries_.erase(std::remove(entries_.begin(), entries_.end(), path), entries_.end());
  entries_.insert(entries_.begin(), path);
  if (entries_.size() > static_cast<size_t>(kEntries)) entries_.resize(kEntries);
  Save();
}

void RecentFileList::Save() const {
  // Written at once, so a later start sees the list even when this one is killed.
  for (int i = 0; i < kEntries; ++i)
    WriteProfileString(kSection, EntryName(i), i < static_cast<int>(entries_.size()) ? entries_[i] : "");
}

}  // namespace veltra
