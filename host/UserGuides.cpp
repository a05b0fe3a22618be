#include "host/UserGuides.h"

#include <filesystem>
#include <system_error>

#include "host/HostrixApp.h"

namespace veltra {

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Folders(const fs::path& parent) {
  std::vector<fs::path> folders;
  std::error_code ec;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) folders.push_back(it->path());
  }
  return folders;
}

std::string Field(std::string text) {
  if (text.size() > UserGuides::kFieldSize - 1) text.resize(UserGuides::kFieldSize - 1);
  return text;
}

}  // namespace

const std::vector<UserGuide>& UserGuides::List() {
  if (!built_) {
    built_ = true;
    list_ = Search(InstallationDirectory());
  }
  return list_;
}

std::vector<UserGuide> UserGuides::Search(const std::string& installationDirectory) {
  std::vector<UserGuide> guides;
  if (installationDirectory.empty()) return guides;
  for (const fs::path& family : Folders(fs::path(installationDirectory) / "target")) {
    for (const fs::path& board : Folders(family)) {
      fs::path documentation = board / "documentation";
      std::error_code ec;
      if (!fs::exists(documentation / "Veltra.pdf", ec)) continue;
      // Each one found goes in front of those found before.
      guides.insert(guides.begin(),
                    UserGuide{Field(documentation.string()),
                              Field(family.filename().string() + "  " + board.filename().string())});
    }
  }
  return guides;
}

}  // namespace veltra
