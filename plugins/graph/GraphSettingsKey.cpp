#include "plugins/graph/GraphSettingsKey.h"

#include "platform/settings/RegistryTransaction.h"

namespace veltra {

GraphSettingsKey::GraphSettingsKey(const std::string& branch, const std::string& name) {
  key_.Open(RegistryRoot::LocalMachine, KeyPath(branch, name));
}

std::string GraphSettingsKey::KeyPath(const std::string& branch, const std::string& name) {
  return "SOFTWARE\\Orv Limited\\" + branch + "\\" + name;
}

void GraphSettingsKey::Load(GraphSettings& settings, GraphProperties& properties) const {
  settings = GraphSettings();
  properties.CopyGivenToLocked();
  if (!key_.IsOpen()) return;

  std::string text;
  if (key_.ReadString("SaveFile", text) == RegistryStatus::Ok) settings.saveFile = text;

  int32_t left = 0, top = 0, width = 0, height = 0;
  if (key_.ReadInt("Left", left) == RegistryStatus::Ok && key_.ReadInt("Top", top) == RegistryStatus::Ok &&
      key_.ReadInt("Width", width) == RegistryStatus::Ok &&
      key_.ReadInt("Height", height) == RegistryStatus::Ok)
    settings.windowRect = PixelRect{left, top, left + width, top + height};

  int32_t number = 0;
  if (key_.ReadInt("Color", number) == RegistryStatus::Ok) settings.colorMap = number;
  settings.filter = key_.ReadInt("Filter", number) == RegistryStatus::Ok && number != 0;

  for (int i = 0; i < kGraphPropertyCount; ++i) {
    const GraphProperty p = static_cast<GraphProperty>(i);
    const std::string name = GraphPropertyName(p);
    if (key_.ReadInt(name + "Flag", number) != RegistryStatus::Ok || number == 0) continue;
    // A value that is missing or of another type leaves the locked value at
    // its default copy; the lock itself holds.
    properties.locked[i] = true;
    if (IsText(p)) {
      if (key_.ReadString(name, text) == RegistryStatus::Ok) properties.lockedText[i] = text;
    } else {
      float value = 0;
      if (key_.ReadBinary(name, &value, sizeof value) == RegistryStatus::Ok)
        properties.lockedNumber[i] = value;
    }
  }
}

bool GraphSettingsKey::Save(const GraphSettings& settings, const GraphProperties& properties) {
  if (!key_.IsWritable()) return true;
  // The values belong together: a window's place and locks are stored whole.
  RegistryTransaction transaction(RegistryRoot::LocalMachine);
  bool ok = true;
  auto check = [&ok](RegistryStatus status) { ok = ok && status == RegistryStatus::Ok; };
  const PixelRect r = settings.windowRect.value_or(PixelRect{});
  check(key_.WriteInt("Left", r.left));
  check(key_.WriteInt("Top", r.top));
  check(key_.WriteInt("Width", r.Width()));
  check(key_.WriteInt("Height", r.Height()));
  check(key_.WriteInt("Color", settings.colorMap));
  check(key_.WriteInt("Filter", settings.filter ? 1 : 0));
  check(key_.WriteString("SaveFile", settings.saveFile));
  for (int i = 0; i < kGraphPropertyCount; ++i) {
    const GraphProperty p = static_cast<GraphProperty>(i);
    const std::string name = GraphPropertyName(p);
    check(key_.WriteInt(name + "Flag", properties.locked[i] ? 1 : 0));
    if (IsText(p)) {
      check(key_.WriteString(name, properties.lockedText[i]));
    } else {
      const float value = static_cast<float>(properties.lockedNumber[i]);
      check(key_.WriteBinary(name, &value, sizeof value));
    }
  }
  if (ok && transaction.Status() == RegistryStatus::Ok) check(transaction.Commit());
  return ok;
}

}  // namespace veltra
