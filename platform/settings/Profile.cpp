#include "platform/settings/Profile.h"

#include "platform/settings/Registry.h"

namespace veltra {

namespace {

std::string SectionKey(const std::string& section) {
  return std::string(kProfileKey) + "\\" + section;
}

}  // namespace

RegistryStatus ReadProfileInt(const std::string& section, const std::string& entry, int& value) {
  RegistryValue stored;
  RegistryStatus status = Registry::ReadValue(RegistryRoot::CurrentUser, SectionKey(section), entry, stored);
  if (status != RegistryStatus::Ok) return status;
  if (stored.type != RegistryType::Dword || stored.data.size() != 4) return RegistryStatus::WrongType;
  value = static_cast<int32_t>(stored.Dword());
  return RegistryStatus::Ok;
}

RegistryStatus ReadProfileString(const std::string& section, const std::string& entry, std::string& value) {
  RegistryValue stored;
  RegistryStatus status = Registry::ReadValue(RegistryRoot::CurrentUser, SectionKey(section), entry, stored);
  if (status != RegistryStatus::Ok) return status;
  if (stored.type != RegistryType::String) return RegistryStatus::WrongType;
  value = stored.String();
  return RegistryStatus::Ok;
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
