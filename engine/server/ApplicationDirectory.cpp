#include "engine/server/ApplicationDirectory.h"

#include <filesystem>
#include <system_error>

namespace veltra {

std::string ApplicationDirectory(const std::string& path) {
  // The whole path is used, however long: a path the server accepted must
  // not lose its directory to a fixed working buffer.
  size_t cut = path.find('/') != std::string::npos ? path.rfind('/') : path.find_last_of("\\:");
  if (cut == std::string::npos) return {};
  if (cut == 0 && path[0] == '/') return "/";
  return path.substr(0, cut);
}

bool MakeApplicationDirectoryCurrent(const std::string& path) {
  std::string directory = ApplicationDirectory(path);
  if (directory.empty()) return true;
  std::error_code error;
  std::filesystem::current_path(directory, error);
  return !error;
}

std::string AbsoluteApplicationPath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  if (error) return path;
  return (current / path).string();
}

}  // namespace veltra
