#include "platform/settings/Registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/settings/SettingsDatabase.h"

namespace veltra {

const char* RegistryTypeName(RegistryType type) {
  switch (type) {
    case RegistryType::Dword:
      return "dword";
    case RegistryType::String:
      return "string";
    case RegistryType::Binary:
      return "binary";
  }
  return "binary";
}

const char* RegistryStatusText(RegistryStatus status) {
  switch (status) {
    case RegistryStatus::Ok:
      return "ok";
    case RegistryStatus::Missing:
      return "missing";
    case RegistryStatus::WrongType:
      return "wrong type or size";
    case RegistryStatus::NotWritable:
      return "not writable";
    case RegistryStatus::Failed:
      return "failed";
  }
  return "failed";
}

RegistryValue RegistryValue::FromDword(std::string name, uint32_t value) {
  RegistryValue result;
  result.name = std::move(name);
  result.type = RegistryType::Dword;
  for (int i = 0; i < 4; ++i) result.data.push_back(static_cast<unsigned char>(value >> (8 * i)));
  return result;
}

RegistryValue RegistryValue::FromString(std::string name, const std::string& value) {
  RegistryValue result;
  result.name = std::move(name);
  result.type = RegistryType::String;
  result.data.assign(value.begin(), value.end());
  return result;
}

RegistryValue RegistryValue::FromBinary(std::string name, const void* bytes, size_t size) {
  RegistryValue result;
  result.name = std::move(name);
  result.type = RegistryType::Binary;
  if (size > 0) {
    auto first = static_cast<const unsigned char*>(bytes);
    result.data.assign(first, first + size);
  }
  return result;
}

uint32_t RegistryValue::Dword() const {
  if (type != RegistryType::Dword || data.size() != 4) return 0;
  return uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
}

std::string RegistryValue::String() const {
  return std::string(data.begin(), data.end());
}

Registry::Registry(RegistryRoot root, const std::string& path) {
  Open(root, path);
}

bool Registry::Open(RegistryRoot root, const std::string& path, Disposition disposition) {
  Close();
  root_ = root;
  path_ = NormalisePath(path);
  SettingsDatabase& database = SettingsDatabase::For(root);
  if (disposition == Disposition::ExistingOnly) {
    openStatus_ = database.FindKey(path_);
    if (openStatus_ != RegistryStatus::Ok) return false;
    writable_ = database.IsWritable();
  } else {
    // A key that cannot be created where the store is read-only opens for reading.
    writable_ = database.CreateKey(path_) != RegistryStatus::NotWritable;
  }
  open_ = true;
  openStatus_ = RegistryStatus::Ok;
  return true;
}

void Registry::Close() {
  open_ = false;
  openStatus_ = RegistryStatus::Missing;
  writable_ = false;
  path_.clear();
}

RegistryStatus Registry::Query(const std::string& name, RegistryValue& value) const {
  if (!open_) return RegistryStatus::Missing;
  return SettingsDatabase::For(root_).Read(path_, name, value);
}

RegistryStatus Registry::ReadDword(const std::string& name, uint32_t& value) const {
  RegistryValue stored;
  RegistryStatus status = Query(name, stored);
  if (status != RegistryStatus::Ok) return status;
  if (stored.type != RegistryType::Dword || stored.data.size() != 4) return RegistryStatus::WrongType;
  value = stored.Dword();
  return RegistryStatus::Ok;
}

RegistryStatus Registry::ReadInt(const std::string& name, int32_t& value) const {
  uint32_t number = 0;
  RegistryStatus status = ReadDword(name, number);
  if (status == RegistryStatus::Ok) value = static_cast<int32_t>(number);
  return status;
}

RegistryStatus Registry::ReadString(const std::string& name, std::string& value) const {
  RegistryValue stored;
  RegistryStatus status = Query(name, stored);
  if (status != RegistryStatus::Ok) return status;
  if (stored.type != RegistryType::String) return RegistryStatus::WrongType;
  value = stored.String();
  return RegistryStatus::Ok;
}

RegistryStatus Registry::ReadBinary(const std::string& name, std::vector<unsigned char>& value) const {
  RegistryValue stored;
  RegistryStatus status = Query(name, stored);
  if (status != RegistryStatus::Ok) return status;
  if (stored.type != RegistryType::Binary) return RegistryStatus::WrongType;
  value = std::move(stored.data);
  return RegistryStatus::Ok;
}

RegistryStatus Registry::ReadBinary(const std::string& name, void* data, size_t size) const {
  std::vector<unsigned char> bytes;
  RegistryStatus status = ReadBinary(name, bytes);
  if (status != RegistryStatus::Ok) return status;
  if (bytes.size() != size) return RegistryStatus::WrongType;
  if (size > 0) std::memcpy(data, bytes.data(), size);
  return RegistryStatus::Ok;
}

RegistryStatus Registry::Write(const RegistryValue& value) {
  if (!open_) return RegistryStatus::Failed;
  if (!writable_) return RegistryStatus::NotWritable;
  RegistryStatus status = SettingsDatabase::For(root_).Write(path_, value);
  if (status == RegistryStatus::NotWritable) writable_ = false;
  return status;
}

RegistryStatus Registry::WriteDword(const std::string& name, uint32_t value) {
  return Write(RegistryValue::FromDword(name, value));
}

RegistryStatus Registry::WriteInt(const std::string& name, int32_t value) {
  return Write(RegistryValue::FromDword(name, static_cast<uint32_t>(value)));
}

RegistryStatus Registry::WriteString(const std::string& name, const std::string& value) {
  return Write(RegistryValue::FromString(name, value));
}

RegistryStatus Registry::WriteBinary(const std::string& name, const void* data, size_t size) {
  return Write(RegistryValue::FromBinary(name, data, size));
}

RegistryStatus Registry::DeleteValue(const std::string& name) {
  if (!open_) return RegistryStatus::Failed;
  if (!writable_) return RegistryStatus::NotWritable;
  return SettingsDatabase::For(root_).DeleteValue(path_, name);
}

RegistryStatus Registry::DeleteSubkey(const std::string& subkeyPath) {
  if (!open_) return RegistryStatus::Failed;
  std::string subkey = NormalisePath(subkeyPath);
  if (subkey.empty()) return RegistryStatus::Failed;
  if (!writable_) return RegistryStatus::NotWritable;
  return SettingsDatabase::For(root_).DeleteKey(path_.empty() ? subkey : path_ + "\\" + subkey);
}

RegistryStatus Registry::Subkeys(std::vector<std::string>& names) const {
  names.clear();
  if (!open_) return RegistryStatus::Missing;
  return SettingsDatabase::For(root_).Subkeys(path_, names);
}

RegistryStatus Registry::Values(std::vector<RegistryValue>& values) const {
  values.clear();
  if (!open_) return RegistryStatus::Missing;
  return SettingsDatabase::For(root_).Values(path_, values);
}

std::vector<std::string> Registry::Subkeys() const {
  std::vector<std::string> names;
  Subkeys(names);
  return names;
}

std::vector<RegistryValue> Registry::Values() const {
  std::vector<RegistryValue> values;
  Values(values);
  return values;
}

bool Registry::KeyExists(RegistryRoot root, const std::string& path) {
  return SettingsDatabase::For(root).KeyExists(NormalisePath(path));
}

RegistryStatus Registry::ReadValue(RegistryRoot root, const std::string& path, const std::string& name,
                                   RegistryValue& value) {
  return SettingsDatabase::For(root).Read(NormalisePath(path), name, value);
}

RegistryStatus Registry::ReadValues(RegistryRoot root, const std::string& path,
                                    std::vector<RegistryValue>& values) {
  return SettingsDatabase::For(root).Values(NormalisePath(path), values);
}

RegistryStatus Registry::DeleteKey(RegistryRoot root, const std::string& path) {
  std::string key = NormalisePath(path);
  if (key.empty()) return RegistryStatus::Failed;
  return SettingsDatabase::For(root).DeleteKey(key);
}

namespace {

// A relative VELTRA_CONFIG_DIR is taken from the current directory when first
// seen: the engine changes directory for every application it runs.
std::string Absolute(const std::string& directory) {
  if (directory.front() == '/') return directory;
  static std::mutex mutex;  // guards lastGiven and lastResolved
  static std::string lastGiven;
  static std::string lastResolved;
  std::lock_guard<std::mutex> lock(mutex);
  if (directory != lastGiven) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::absolute(directory, error);
    lastGiven = directory;
    lastResolved = error ? directory : resolved.lexically_normal().string();
  }
  return lastResolved;
}

}  // namespace

std::string Registry::ConfigDirectory() {
  const char* configured = std::getenv("VELTRA_CONFIG_DIR");
  if (configured && *configured) return Absolute(configured);
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/veltra";  // relative values are to be ignored
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = ::getpwuid(::getuid());
    home = user && user->pw_dir ? user->pw_dir : "/tmp";
  }
  return std::string(home) + "/.config/veltra";
}

std::string Registry::DatabasePath(RegistryRoot root) {
  return ConfigDirectory() + (root == RegistryRoot::CurrentUser ? "/user.db" : "/machine.db");
}

std::string Registry::NormalisePath(const std::string& path) {
  std::string result;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!result.empty()) result += '\\';
      result.append(path, start, end - start);
    }
    start = end + 1;
  }
  return result;
}

}  // namespace veltra
