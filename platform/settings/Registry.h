// The settings store in place of the system registry: two roots (the current
// user and the machine), keys named by backslash paths such as
// "Software\Orv\Veltra\Server\Settings", typed values under each key. Key and
// value names compare without regard to case (ASCII letters); a name keeps the
// spelling it was first written with.
//
// A Registry object is an open key. Opening creates the key when it is
// missing; where the store cannot be written the key opens read-only and every
// write reports NotWritable. Each write is one transaction of its own (or part
// of a RegistryTransaction), so several processes may write at once; a writer
// waits several seconds for a busy store before it reports Failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "veltra/Export.h"

namespace veltra {

enum class RegistryRoot { CurrentUser, LocalMachine };

// Numbered as the system's registry numbers its value types.
enum class RegistryType { String = 1, Binary = 3, Dword = 4 };

enum class RegistryStatus {
  Ok,           // read: present with the type asked for; write: done
  Missing,      // no such value (or key)
  WrongType,    // present, but of another type or size
  NotWritable,  // the store is read-only here
  Failed,       // the store could not do it (I/O error, still busy after the wait)
};

VELTRA_EXPORT const char* RegistryTypeName(RegistryType type);  // "dword", "string", "binary"
VELTRA_EXPORT const char* RegistryStatusText(RegistryStatus status);

struct VELTRA_EXPORT RegistryValue {
  std::string name;
  RegistryType type = RegistryType::Binary;
  // Dword: 4 bytes, little-endian. String: its bytes, no terminating zero.
  std::vector<unsigned char> data;

  static RegistryValue FromDword(std::string name, uint32_t value);
  static RegistryValue FromString(std::string name, const std::string& value);
  static RegistryValue FromBinary(std::string name, const void* bytes, size_t size);
  uint32_t Dword() const;  // 0 unless a 4-byte dword
  std::string String() const;
};

class VELTRA_EXPORT Registry {
 public:
  enum class Disposition { CreateIfMissing, ExistingOnly };

  Registry() = default;
  // Opens the key, creating it when missing; see Open.
  Registry(RegistryRoot root, const std::string& path);

  // False only for ExistingOnly when the key does not exist or the store could
  // not tell (OpenStatus says which). The root itself is the empty path.
  bool Open(RegistryRoot root, const std::string& path,
            Disposition disposition = Disposition::CreateIfMissing);
  // Of the last Open: Ok, Missing, or Failed when the store could not be read
  // (still busy after the wait, an I/O error).
  RegistryStatus OpenStatus() const { return openStatus_; }
  void Close();
  bool IsOpen() const { return open_; }
  bool IsWritable() const { return open_ && writable_; }
  RegistryRoot Root() const { return root_; }
  const std::string& Path() const { return path_; }

  RegistryStatus Query(const std::string& name, RegistryValue& value) const;
  RegistryStatus ReadDword(const std::string& name, uint32_t& value) const;
  RegistryStatus ReadInt(const std::string& name, int32_t& value) const;
  RegistryStatus ReadString(const std::string& name, std::string& value) const;
  RegistryStatus ReadBinary(const std::string& name, std::vector<unsigned char>& value) const;
  // Exactly size bytes, else WrongType (a 4-byte float, for instance).
  RegistryStatus ReadBinary(const std::string& name, void* data, size_t size) const;

  RegistryStatus Write(const RegistryValue& value);
  RegistryStatus WriteDword(const std::string& name, uint32_t value);
  RegistryStatus WriteInt(const std::string& name, int32_t value);
  RegistryStatus WriteString(const std::string& name, const std::string& value);
  RegistryStatus WriteBinary(const std::string& name, const void* data, size_t size);
  RegistryStatus DeleteValue(const std::string& name);
  // Deletes a key below this one with all its subkeys and values.
  RegistryStatus DeleteSubkey(const std::string& subkeyPath);

  // Names of the direct subkeys, sorted without regard to case. Ok, or Failed
  // with an empty list when the store could not be read.
  RegistryStatus Subkeys(std::vector<std::string>& names) const;
  // Values in the order they were first written. Ok, or Failed with an empty
  // list when the store could not be read.
  RegistryStatus Values(std::vector<RegistryValue>& values) const;
  // The same lists where a failure may pass for an empty key.
  std::vector<std::string> Subkeys() const;
  std::vector<RegistryValue> Values() const;

  static bool KeyExists(RegistryRoot root, const std::string& path);
  // One value or the values of a key without opening it first: one look at
  // the store instead of two. A missing key reads as a missing value or as no
  // values; Failed when the store could not be read.
  static RegistryStatus ReadValue(RegistryRoot root, const std::string& path, const std::string& name,
                                  RegistryValue& value);
  static RegistryStatus ReadValues(RegistryRoot root, const std::string& path,
                                   std::vector<RegistryValue>& values);
  // Deletes the key with all its subkeys and values; the root cannot be deleted.
  static RegistryStatus DeleteKey(RegistryRoot root, const std::string& path);

  // $VELTRA_CONFIG_DIR (a relative one from the current directory when first
  // seen), else $XDG_CONFIG_HOME/veltra, else ~/.config/veltra.
  static std::string ConfigDirectory();
  // user.db or machine.db in the configuration directory.
  static std::string DatabasePath(RegistryRoot root);
  // "\A\\B\" -> "A\B": empty components dropped.
  static std::string NormalisePath(const std::string& path);

 private:
  RegistryRoot root_ = RegistryRoot::CurrentUser;
  std::string path_;
  bool open_ = false;
  bool writable_ = false;
  RegistryStatus openStatus_ = RegistryStatus::Missing;
};

}  // namespace veltra
