// Loading libraries by the system's names. "Name.dll" is the file "Name.so";
// a name with a directory part is loaded as given. A bare name is looked for
// in the program's own directory, each directory of VELTRA_PLUGIN_PATH, the
// loader's default search, then the current directory.
#pragma once

#include <string>

#include "veltra/Export.h"

namespace veltra {

class VELTRA_EXPORT DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  // Loads the library; on failure keeps the loader's reason in Error().
  // Without searchCurrentDirectory a bare name is never taken from the
  // current directory (where an application confined to it may write).
  bool Load(const std::string& name, bool searchCurrentDirectory = true);
  // Releases the library. Libraries that must stay loaded are Detach()ed.
  void Free();
  // Forgets the handle without releasing it: the library stays in the process.
  void* Detach();
  void* Symbol(const char* name) const;
  template <typename F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  bool IsLoaded() const { return handle_ != nullptr; }
  void* Handle() const { return handle_; }
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }

  // "Name.dll" -> "Name.so"; names with another extension or none are kept.
  static std::string FileName(const std::string& systemName);
  // Directory of the running program, with a trailing '/'.
  static std::string ProgramDirectory();
  // Looks a symbol up in a raw handle (as kept by a registry of handles).
  static void* Symbol(void* handle, const char* name);

 private:
  void* handle_ = nullptr;
  std::string error_;
  std::string path_;
};

}  // namespace veltra
