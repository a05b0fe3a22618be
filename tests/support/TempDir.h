// A fresh temporary directory for one test, removed with everything in it.
// With settings = true it also becomes VELTRA_CONFIG_DIR for the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace veltra::test {

class TempDir {
 public:
  explicit TempDir(bool settings = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltra-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
    if (settings) {
      const char* old = std::getenv("VELTRA_CONFIG_DIR");
      hadConfig_ = old != nullptr;
      if (old) oldConfig_ = old;
      setenv("VELTRA_CONFIG_DIR", path_.c_str(), 1);
      ownsConfig_ = true;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
    if (ownsConfig_) {
      if (hadConfig_)
        setenv("VELTRA_CONFIG_DIR", oldConfig_.c_str(), 1);
      else
        unsetenv("VELTRA_CONFIG_DIR");
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::string oldConfig_;
  bool hadConfig_ = false;
  bool ownsConfig_ = false;
};

}  // namespace veltra::test
