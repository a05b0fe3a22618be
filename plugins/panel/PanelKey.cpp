#include "plugins/panel/PanelKey.h"

namespace veltra {

PanelKey::PanelKey(const std::string& branch, const std::string& window) {
  key_.Open(RegistryRoot::LocalMachine, KeyPath(branch, window));
}

std::string PanelKey::KeyPath(const std::string& branch, const std::string& window) {
  return "SOFTWARE\\Orv Limited\\" + branch + "\\" + window;
}

std::optional<int32_t> PanelKey::ReadInt(const std::string& name) const {
  int32_t value = 0;
  if (!key_.IsOpen() || key_.ReadInt(name, value) != RegistryStatus::Ok) return std::nullopt;
  return value;
}

std::optional<std::string> PanelKey::ReadString(const std::string& name) const {
  std::string value;
  if (!key_.IsOpen() || key_.ReadString(name, value) != RegistryStatus::Ok) return std::nullopt;
  return value;
}

void PanelKey::WriteInt(const std::string& name, int32_t value) {
  if (key_.IsWritable()) key_.WriteInt(name, value);
}

void PanelKey::WriteString(const std::string& name, const std::string& value) {
  if (key_.IsWritable()) key_.WriteString(name, value);
}

}  // namespace veltra
