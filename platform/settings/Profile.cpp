#include "platform/settings/Profile.h"

#include "platform/settings/Registry.h"

namespace veltra {

namespace {

std::string SectionKey(const std::string& section) {
  return std::string(kProfileKey) + "\\" + section;
}

}  // namespace

RegistryStatus ReadProfileInt(const std::string& section, const std::string& entry, int& value) {
  Registry key;
  if (!key.Open(RegistryRoot::CurrentUser, SectionKey(section), Registry::Disposition::ExistingOnly))
    return key.OpenStatus();
  int32_t number = 0;
  RegistryStatus status = key.ReadInt(entry, number);
  if (status == RegistryStatus::Ok) value = number;
  return status;
}

RegistryStatus ReadProfileString(const std::string& section, const std::string& entry, std::string& value) {
  Registry key;
  if (!key.Open(RegistryRoot::CurrentUser, SectionKey(section), Registry::Disposition::ExistingOnly))
    return key.OpenStatus();
  return key.ReadString(entry, value);
}

int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) {
  int value = 0;
  return ReadProfileInt(section, entry, value) == RegistryStatus::Ok ? value : defaultValue;
}

bool WriteProfileInt(const std::string& section, const std::string& entry, int value) {
  Registry key(RegistryRoot::CurrentUser, SectionKey(section));
  return key.WriteInt(entry, value) == RegistryStatus::Ok;
}

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& defaultValue) {
  std::string value;
  return ReadProfileString(section, entry, value) == RegistryStatus::Ok ? value : defaultValue;
}

bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) {
  Registry key(RegistryRoot::CurrentUser, SectionKey(section));
  return key.WriteString(entry, value) == RegistryStatus::Ok;
}

}  // namespace veltra
