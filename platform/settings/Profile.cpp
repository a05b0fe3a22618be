#include "platform/settings/Profile.h"

#include "platform/settings/Registry.h"

namespace veltra {

namespace {

std::string SectionKey(const std::string& section) {
  return std::string(kProfileKey) + "\\" + section;
}

}  // namespace

int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) {
  Registry key;
  int32_t value = 0;
  if (key.Open(RegistryRoot::CurrentUser, SectionKey(section), Registry::Disposition::ExistingOnly) &&
      key.ReadInt(entry, value) == RegistryStatus::Ok)
    return value;
  return defaultValue;
}

bool WriteProfileInt(const std::string& section, const std::string& entry, int value) {
  Registry key(RegistryRoot::CurrentUser, SectionKey(section));
  return key.WriteInt(entry, value) == RegistryStatus::Ok;
}

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& defaultValue) {
  Registry key;
  std::string value;
  if (key.Open(RegistryRoot::CurrentUser, SectionKey(section), Registry::Disposition::ExistingOnly) &&
      key.ReadString(entry, value) == RegistryStatus::Ok)
    return value;
  return defaultValue;
}

bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) {
  Registry key(RegistryRoot::CurrentUser, SectionKey(section));
  return key.WriteString(entry, value) == RegistryStatus::Ok;
}

}  // namespace veltra
