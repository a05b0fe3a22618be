// The program's profile: the current user's key Software\Orv\Veltra\Server,
// one subkey per section ("Settings" holds the options, the window places and
// the link manager's choices). Reads fall back to the given default when the
// value is missing or of another type; writes report whether they were stored.
//
// Cheap enough for a few dozen calls at start-up: the store keeps one
// connection per process and root. Each call waits on its own (up to ten
// seconds) while another process holds the store: to read many values of a
// section, read them in one go with Registry::Values(), as the options do.
#pragma once

#include <string>

#include "platform/settings/Registry.h"
#include "veltra/Export.h"

namespace veltra {

inline constexpr const char* kProfileKey = "Software\\Orv\\Veltra\\Server";
inline constexpr const char* kSettingsSection = "Settings";

// Ok, Missing, WrongType, or Failed when the store could not be read (still
// busy after the wait): a caller that would write back what it read must not
// take that for a missing value.
VELTRA_EXPORT RegistryStatus ReadProfileInt(const std::string& section, const std::string& entry, int& value);
VELTRA_EXPORT RegistryStatus ReadProfileString(const std::string& section, const std::string& entry,
                                               std::string& value);

VELTRA_EXPORT int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue);
VELTRA_EXPORT bool WriteProfileInt(const std::string& section, const std::string& entry, int value);
VELTRA_EXPORT std::string GetProfileString(const std::string& section, const std::string& entry,
                                           const std::string& defaultValue = std::string());
VELTRA_EXPORT bool WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value);

}  // namespace veltra
