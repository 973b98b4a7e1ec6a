#pragma once

#include <string>
#include <string_view>

namespace platform {

// The settings-file functions of the platform (GetPrivateProfileString and
// WritePrivateProfileString on Windows, a reader and writer of our own elsewhere): section and
// key names compared without regard to case; a missing file, section or key gives the default.
std::string GetProfileValue(std::string_view section, std::string_view key,
                            std::string_view defaultValue, const std::string& path);

// Writes one key; false (with errno set) when the file could not be written. A new file is
// readable by its owner only, as it may hold a password; an existing one keeps its mode.
bool SetProfileValue(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& path);

// Makes every change to the file durable.
bool FlushProfile(const std::string& path);

} // namespace platform
