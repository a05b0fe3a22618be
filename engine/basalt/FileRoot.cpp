#include "engine/basalt/FileRoot.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <string_view>

namespace veltra {

namespace {

constexpr int kAlwaysFlags = O_CLOEXEC | O_NOCTTY;
constexpr mode_t kCreateMode = 0666;
// As many links as the kernel follows in one name.
constexpr int kLinkLimit = 40;
// RESOLVE_BENEATH answers EAGAIN when a rename raced a ".."; it may be retried.
constexpr int kRaceRetries = 8;
constexpr int kTemporaryAttempts = 100;

// Owns one descriptor.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// The components of a path, without empty ones and ".".
std::vector<std::string> Split(std::string_view path) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(at, end - at);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    at = end + 1;
  }
  return parts;
}

bool StartsWith(const std::vector<std::string>& parts, const std::vector<std::string>& prefix) {
  if (prefix.size() > parts.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (parts[i] != prefix[i]) return false;
  return true;
}

// openat2 refuses flags that mean nothing to an O_PATH descriptor.
int WithAlwaysFlags(int flags) {
  return flags | ((flags & O_PATH) ? O_CLOEXEC : kAlwaysFlags);
}

long Openat2(int directory, const char* path, int flags, uint64_t resolve) {
  struct open_how how = {};
  how.flags = static_cast<uint64_t>(flags);
  // The kernel refuses a mode without a file to create.
  if (flags & O_CREAT) how.mode = kCreateMode;
  how.resolve = resolve;
  return ::syscall(SYS_openat2, directory, path, &how, sizeof how);
}

// The target of the link at (directory, name), or false with errno.
bool ReadLink(int directory, const char* name, std::string* target) {
  char buffer[4096];
  ssize_t length = ::readlinkat(directory, name, buffer, sizeof buffer);
  if (length < 0) return false;
  if (static_cast<size_t>(length) >= sizeof buffer) {
    errno = ENAMETOOLONG;
    return false;
  }
  target->assign(buffer, static_cast<size_t>(length));
  return true;
}

std::string TemporaryName(std::mt19937_64& random) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = "vlt";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

}  // namespace

FileRoot::FileRoot(const std::string& root, Resolver resolver) : root_(root) {
  if (root_.empty()) return;
  rootFd_ = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0) {
    rootError_ = errno;
    return;
  }
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(root_, error).lexically_normal();
  spelledText_ = absolute.string();
  while (spelledText_.size() > 1 && spelledText_.back() == '/') spelledText_.pop_back();
  spelled_ = Split(spelledText_);
  if (char* resolved = ::realpath(root_.c_str(), nullptr)) {
    canonical_ = Split(resolved);
    std::free(resolved);
  }
  if (resolver == Resolver::Kernel) {
    // Also refused under some system-call filters: then the walk does it.
    long probe = Openat2(rootFd_, ".", O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_BENEATH);
    if (probe >= 0) {
      ::close(static_cast<int>(probe));
      kernel_ = true;
    }
  }
}

FileRoot::~FileRoot() {
  if (rootFd_ >= 0) ::close(rootFd_);
}

FileRoot::Outcome FileRoot::Relative(const char* name, std::string* relative) const {
  if (!name || !*name) {
    errno = ENOENT;
    return Outcome::Failed;
  }
  if (name[0] != '/') {
    // A relative name starts from the current directory, the application's,
    // as it does without a root; that directory must lie inside the root,
    // and the name is then resolved beneath the root like any other, so
    // ".." may climb to the root and no further.
    std::string base;
    Outcome outcome = BelowRoot(CurrentDirectory(), &base);
    if (outcome != Outcome::Done) return outcome;
    *relative = base == "." ? std::string(name) : base + '/' + name;
    return Outcome::Done;
  }
  return BelowRoot(name, relative);
}

std::string FileRoot::CurrentDirectory() {
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string() : current.string();
}

FileRoot::Outcome FileRoot::BelowRoot(const std::string& path, std::string* relative) const {
  if (path.empty() || path[0] != '/') return Outcome::Outside;
  std::vector<std::string> parts = Split(path);
  const std::vector<std::string>* prefix = nullptr;
  if (StartsWith(parts, spelled_))
    prefix = &spelled_;
  else if (!canonical_.empty() && StartsWith(parts, canonical_))
    prefix = &canonical_;
  if (!prefix) return Outcome::Outside;
  std::string rest;
  for (size_t i = prefix->size(); i < parts.size(); ++i) {
    if (!rest.empty()) rest += '/';
    rest += parts[i];
  }
  *relative = rest.empty() ? "." : rest;
  return Outcome::Done;
}

FileRoot::Outcome FileRoot::OpenBeneath(const std::string& relative, int flags, int* fd) {
  return kernel_ ? KernelOpen(relative, flags, fd) : WalkOpen(relative, flags, fd);
}

FileRoot::Outcome FileRoot::KernelOpen(const std::string& relative, int flags, int* fd) {
  for (int attempt = 0;; ++attempt) {
    long opened =
        Openat2(rootFd_, relative.c_str(), WithAlwaysFlags(flags), RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS);
    if (opened >= 0) {
      *fd = static_cast<int>(opened);
      return Outcome::Done;
    }
    if (errno == EXDEV) return Outcome::Outside;
    if (errno != EAGAIN || attempt >= kRaceRetries) return Outcome::Failed;
  }
}

FileRoot::Outcome FileRoot::WalkOpen(const std::string& relative, int flags, int* fd) {
  // The directories entered below the root, innermost last. ".." leaves the
  // innermost; leaving the root itself is leaving the tree.
  std::vector<Descriptor> chain;
  auto current = [&] { return chain.empty() ? rootFd_ : chain.back().Get(); };
  std::vector<std::string> initial = Split(relative);
  std::deque<std::string> pending(initial.begin(), initial.end());
  bool wantDirectory = flags & O_DIRECTORY;
  int links = 0;

  // Puts a link's target in place of the link.
  auto follow = [&](int directory, const char* name) -> Outcome {
    std::string target;
    if (++links > kLinkLimit) {
      errno = ELOOP;
      return Outcome::Failed;
    }
    if (!ReadLink(directory, name, &target)) return Outcome::Failed;
    if (!target.empty() && target[0] == '/') return Outcome::Outside;
    std::vector<std::string> parts = Split(target);
    pending.insert(pending.begin(), parts.begin(), parts.end());
    return Outcome::Done;
  };

  while (!pending.empty()) {
    std::string part = std::move(pending.front());
    pending.pop_front();
    if (part == "..") {
      if (chain.empty()) return Outcome::Outside;
      chain.pop_back();
      continue;
    }
    if (!pending.empty()) {
      Descriptor next(::openat(current(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
      if (next.Get() < 0) return Outcome::Failed;
      struct stat info;
      if (::fstat(next.Get(), &info) != 0) return Outcome::Failed;
      if (S_ISLNK(info.st_mode)) {
        Outcome followed = follow(next.Get(), "");
        if (followed != Outcome::Done) return followed;
        continue;
      }
      if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return Outcome::Failed;
      }
      chain.push_back(std::move(next));
      continue;
    }
    // The last component: never followed by the open itself, so a link put
    // there meanwhile shows as ELOOP (or, for O_PATH, as the link) and is
    // checked like any other.
    Descriptor opened(
        ::openat(current(), part.c_str(), WithAlwaysFlags((flags & ~O_DIRECTORY) | O_NOFOLLOW), kCreateMode));
    if (opened.Get() < 0) {
      if (errno != ELOOP) return Outcome::Failed;
      Outcome followed = follow(current(), part.c_str());
      if (followed != Outcome::Done) return followed;
      continue;
    }
    struct stat info;
    if (::fstat(opened.Get(), &info) != 0) return Outcome::Failed;
    if (S_ISLNK(info.st_mode)) {
      Outcome followed = follow(opened.Get(), "");
      if (followed != Outcome::Done) return followed;
      continue;
    }
    if (wantDirectory && !S_ISDIR(info.st_mode)) {
      errno = ENOTDIR;
      return Outcome::Failed;
    }
    *fd = opened.Release();
    return Outcome::Done;
  }
  // The name ends at a directory ("", ".", "a/.."): open that one.
  int opened = ::openat(current(), ".", WithAlwaysFlags(flags & ~O_CREAT));
  if (opened < 0) return Outcome::Failed;
  *fd = opened;
  return Outcome::Done;
}

FileRoot::Outcome FileRoot::Open(const char* name, int flags, int* fd) {
  if (!Confined()) {
    int opened = ::open(name, WithAlwaysFlags(flags), kCreateMode);
    if (opened < 0) return Outcome::Failed;
    *fd = opened;
    return Outcome::Done;
  }
  if (!Usable()) return Outcome::Outside;
  std::string relative;
  Outcome outcome = Relative(name, &relative);
  if (outcome != Outcome::Done) return outcome;
  return OpenBeneath(relative, flags, fd);
}

FileRoot::Outcome FileRoot::CreateTemporary(int* fd, std::string* path) {
  if (!Confined()) {
    std::error_code error;
    std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    if (error) directory = "/tmp";
    std::string pattern = (directory / "vltXXXXXX").string();
    int made = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (made < 0) return Outcome::Failed;
    *fd = made;
    *path = pattern;
    return Outcome::Done;
  }
  if (!Usable()) return Outcome::Outside;
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed());
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string name = TemporaryName(random);
    int made = -1;
    Outcome outcome = OpenBeneath(name, O_RDWR | O_CREAT | O_EXCL, &made);
    if (outcome == Outcome::Done) {
      *fd = made;
      *path = spelledText_ == "/" ? "/" + name : spelledText_ + "/" + name;
      return Outcome::Done;
    }
    if (outcome == Outcome::Outside || errno != EEXIST) return outcome;
  }
  errno = EEXIST;
  return Outcome::Failed;
}

FileRoot::Outcome FileRoot::Parent(const char* name, int* directory, std::string* last) {
  std::string relative;
  Outcome outcome = Relative(name, &relative);
  if (outcome != Outcome::Done) return outcome;
  std::vector<std::string> parts = Split(relative);
  if (parts.empty() || parts.back() == "..") {
    // The root itself or a directory above a component: whether it leaves
    // the root is the resolver's answer; it is never a file to act on.
    int fd = -1;
    outcome = OpenBeneath(relative, O_PATH | O_DIRECTORY, &fd);
    if (outcome != Outcome::Done) return outcome;
    ::close(fd);
    errno = EBUSY;
    return Outcome::Failed;
  }
  *last = parts.back();
  std::string above;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (!above.empty()) above += '/';
    above += parts[i];
  }
  return OpenBeneath(above.empty() ? "." : above, O_PATH | O_DIRECTORY, directory);
}

FileRoot::Outcome FileRoot::Remove(const char* name) {
  if (!Confined()) return std::remove(name) == 0 ? Outcome::Done : Outcome::Failed;
  if (!Usable()) return Outcome::Outside;
  int directory = -1;
  std::string last;
  Outcome outcome = Parent(name, &directory, &last);
  if (outcome != Outcome::Done) return outcome;
  Descriptor held(directory);
  // As remove(3): a file, or else an empty directory. Neither follows a
  // link: a link in the root is removed itself, never what it names.
  if (::unlinkat(held.Get(), last.c_str(), 0) == 0) return Outcome::Done;
  if (errno != EISDIR && errno != EPERM) return Outcome::Failed;
  return ::unlinkat(held.Get(), last.c_str(), AT_REMOVEDIR) == 0 ? Outcome::Done : Outcome::Failed;
}

FileRoot::Outcome FileRoot::Rename(const char* from, const char* to, const char** refused) {
  if (!Confined()) return std::rename(from, to) == 0 ? Outcome::Done : Outcome::Failed;
  if (refused) *refused = from;
  if (!Usable()) return Outcome::Outside;
  int fromDirectory = -1;
  int toDirectory = -1;
  std::string fromLast;
  std::string toLast;
  Outcome outcome = Parent(from, &fromDirectory, &fromLast);
  if (outcome != Outcome::Done) return outcome;
  Descriptor fromHeld(fromDirectory);
  if (refused) *refused = to;
  outcome = Parent(to, &toDirectory, &toLast);
  if (outcome != Outcome::Done) return outcome;
  Descriptor toHeld(toDirectory);
  return ::renameat(fromHeld.Get(), fromLast.c_str(), toHeld.Get(), toLast.c_str()) == 0 ? Outcome::Done
                                                                                         : Outcome::Failed;
}

}  // namespace veltra
