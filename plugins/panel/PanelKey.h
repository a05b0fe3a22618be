// One window's key of the machine store: SOFTWARE\Orv Limited\<branch>\<window>,
// the branch being Plexa_310 for the control-panel cluster and Plexa_300 for
// the combined plug-in. Opening creates the key; where the store cannot be
// written it opens for reading only and every write is skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/settings/Registry.h"

namespace veltra {

class PanelKey {
 public:
  PanelKey(const std::string& branch, const std::string& window);

  static std::string KeyPath(const std::string& branch, const std::string& window);

  bool IsWritable() const { return key_.IsWritable(); }

  // A 32-bit integer of 4 bytes, else nothing (missing or of another type).
  std::optional<int32_t> ReadInt(const std::string& name) const;
  std::optional<std::string> ReadString(const std::string& name) const;
  // Skipped on a read-only key.
  void WriteInt(const std::string& name, int32_t value);
  void WriteString(const std::string& name, const std::string& value);

 private:
  Registry key_;
};

}  // namespace veltra
