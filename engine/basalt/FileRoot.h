// Where the file names an application sends lead. Without a root a name is
// used as it stands, relative to the current directory (the application's).
// With a root every name is resolved inside that directory: relative names
// from the current directory, which must lie inside the root (else every
// relative name is refused), absolute names only when they lie within it. A name that would
// leave it, by "..", by an absolute path elsewhere or by a symbolic link
// (also one in a parent component), is refused. Resolution holds directory
// descriptors from the root down, so a component swapped for a link while a
// name is resolved cannot lead out either.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace veltra {

class FileRoot {
 public:
  enum class Outcome { Done, Failed, Outside };
  // Kernel: openat2 with RESOLVE_BENEATH, falling back to Walk where the
  // kernel lacks it. Walk: one component at a time, never following a link
  // without checking where it leads.
  enum class Resolver { Kernel, Walk };

  // An empty root confines nothing. A relative root is taken against the
  // current directory of the moment.
  explicit FileRoot(const std::string& root, Resolver resolver = Resolver::Kernel);
  ~FileRoot();
  FileRoot(const FileRoot&) = delete;
  FileRoot& operator=(const FileRoot&) = delete;

  bool Confined() const { return !root_.empty(); }
  // The root as it was given.
  const std::string& Root() const { return root_; }
  // False when a root is set but is no directory that can be opened; every
  // name is then refused as outside.
  bool Usable() const { return !Confined() || rootFd_ >= 0; }
  // Why the root cannot be used (errno), 0 when it can.
  int RootError() const { return rootError_; }
  // Whether names are resolved by the kernel (for tests and reports).
  bool KernelResolves() const { return kernel_; }

  // open(2) flags; close-on-exec and no controlling terminal are added, and
  // files are created with mode 0666 less the umask. On Done *fd is open; on
  // Failed errno tells why.
  Outcome Open(const char* name, int flags, int* fd);
  // A new file "vltXXXXXX", created exclusively, in the root (without one, in
  // the system's temporary directory); its path in *path.
  Outcome CreateTemporary(int* fd, std::string* path);
  Outcome Remove(const char* name);
  // On Outside, *refused (when given) is the name that was refused.
  Outcome Rename(const char* from, const char* to, const char** refused = nullptr);

 private:
  // The path below the root that a name stands for ("." for the root).
  Outcome Relative(const char* name, std::string* relative) const;
  // The same for an absolute path; Outside for one that is not below the root.
  Outcome BelowRoot(const std::string& path, std::string* relative) const;
  static std::string CurrentDirectory();
  Outcome OpenBeneath(const std::string& relative, int flags, int* fd);
  Outcome KernelOpen(const std::string& relative, int flags, int* fd);
  Outcome WalkOpen(const std::string& relative, int flags, int* fd);
  // The directory that holds the last component of a name, and that
  // component; "." and ".." are never a last component.
  Outcome Parent(const char* name, int* directory, std::string* last);

  std::string root_;
  int rootFd_ = -1;
  int rootError_ = 0;
  bool kernel_ = false;
  // Absolute spellings of the root: as given (made absolute and normal) and
  // with its links resolved. An absolute name must begin with one of them.
  std::vector<std::string> spelled_;
  std::vector<std::string> canonical_;
  std::string spelledText_;
};

}  // namespace veltra
