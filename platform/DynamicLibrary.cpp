#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

namespace veltra {

namespace {

// Where the loader found a library, as a path: a relative one came from an
// empty entry of some run path (the build tree's run paths end in one, as the
// build pads them for installation), that is from the current directory.
bool FoundInTheCurrentDirectory(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return false;
  return map->l_name[0] != '/';
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char a = text[text.size() - suffix.size() + i];
    char b = suffix[i];
    if (std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(b)))
      return false;
  }
  return true;
}

}  // namespace

DynamicLibrary::~DynamicLibrary() {
  Free();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      error_(std::move(other.error_)),
      path_(std::move(other.path_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
    path_ = std::move(other.path_);
  }
  return *this;
}

std::string DynamicLibrary::FileName(const std::string& systemName) {
  if (EndsWithNoCase(systemName, ".dll")) return systemName.substr(0, systemName.size() - 4) + ".so";
  return systemName;
}

std::string DynamicLibrary::ProgramDirectory() {
  // Looked up once: the program of a process does not change, and every
  // library loaded by name asks for it.
  static const std::string directory = [] {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : exe.parent_path().string() + "/";
  }();
  return directory;
}

bool DynamicLibrary::Load(const std::string& name, bool searchCurrentDirectory) {
  Free();
  error_.clear();
  std::string file = FileName(name);
  if (file.empty()) {
    error_ = "empty library name";
    return false;
  }
  std::vector<std::string> candidates;
  if (file.find('/') != std::string::npos) {
    candidates.push_back(file);
  } else {
    candidates.push_back(ProgramDirectory() + file);
    if (const char* extra = std::getenv("VELTRA_PLUGIN_PATH")) {
      std::stringstream dirs(extra);
      std::string dir;
      while (std::getline(dirs, dir, ':')) {
        if (!dir.empty()) candidates.push_back(dir + "/" + file);
      }
    }
    candidates.push_back(file);  // the loader's own search
    if (searchCurrentDirectory) candidates.push_back("./" + file);
  }
  std::string firstError;
  for (const auto& candidate : candidates) {
    // A path that does not exist says nothing useful; keep the reason of a
    // library that exists but cannot be loaded, or else the loader's own.
    bool isPath = candidate.find('/') != std::string::npos;
    if (isPath && access(candidate.c_str(), F_OK) != 0) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle && !searchCurrentDirectory && candidate == file && FoundInTheCurrentDirectory(handle)) {
      // The loader's own search (the bare file name) took it from the current
      // directory, which this load must not search (a confined application's
      // directory).
      dlclose(handle);
      continue;
    }
    if (handle) {
      handle_ = handle;
      path_ = candidate;
      return true;
    }
    const char* reason = dlerror();
    if (firstError.empty() || (isPath && firstError.find("cannot open shared object") != std::string::npos))
      firstError = reason ? reason : "unknown loader error";
  }
  error_ =
      firstError.empty() ? file + ": cannot open shared object file: No such file or directory" : firstError;
  return false;
}

void DynamicLibrary::Free() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
}

void* DynamicLibrary::Detach() {
  return std::exchange(handle_, nullptr);
}

void* DynamicLibrary::Symbol(const char* name) const {
  return Symbol(handle_, name);
}

void* DynamicLibrary::Symbol(void* handle, const char* name) {
  if (!handle) return nullptr;
  return dlsym(handle, name);
}

}  // namespace veltra
