#include "host/HostCommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "veltra/OptionsRecord.h"

namespace veltra {

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args) {
  HostCommandLine parsed;
  bool haveFile = false;
  for (const std::string& arg : args) {
    if (arg == "-exit" || arg == "-EXIT") parsed.exitFlag = true;
    // Flags start with '-' (or '/' on the system this program came from, but
    // here that is the start of an absolute path).
    if (!arg.empty() && arg[0] == '-') continue;
    if (!haveFile) {
      parsed.application = arg;
      haveFile = true;
    }
  }
  return parsed;
}

bool HasExtension(const std::string& name) {
  for (size_t i = name.size(); i-- > 0;) {
    char ch = name[i];
    if (ch == '.') return true;
    if (ch == '/' || ch == ':' || ch == '\\') return false;
  }
  return false;
}

std::string WithApplicationExtension(const std::string& name) {
  return HasExtension(name) ? name : name + ".app";
}

std::string ApplicationFileProblem(const std::string& path) {
  // The engine and the shared block keep 259 characters and a NUL.
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (path.size() >= static_cast<size_t>(kPathSize) || absolute.size() >= static_cast<size_t>(kPathSize))
    return "its path is longer than " + std::to_string(kPathSize - 1) + " characters";
  if (std::filesystem::is_directory(path, ec)) return "it is a directory";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::strerror(errno);
  std::fclose(file);
  return "";
}

}  // namespace veltra
