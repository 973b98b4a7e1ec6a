#include "ProfileFile.h"

#include "Files.h"
#include "ProfileText.h"

#include <cerrno>

namespace platform {

std::string GetProfileValue(std::string_view section, std::string_view key,
                            std::string_view defaultValue, const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        return std::string(defaultValue.substr(0, ProfileText::MaxValueLength));
    }
    return ProfileText(*bytes)
        .Value(section, key)
        .value_or(std::string(defaultValue.substr(0, ProfileText::MaxValueLength)));
}

bool SetProfileValue(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& path) {
    auto bytes = ReadWholeFile(path);
    if (!bytes) {
        if (errno != ENOENT) {
            return false;
        }
        bytes.emplace();
    }
    ProfileText text(*bytes);
    text.SetValue(section, key, value);
    // Each write lands whole on disk, so there is nothing left for a flush to do.
    return WriteFileAtomically(path, text.Bytes(), NewFileMode::OwnerOnly);
}

bool FlushProfile(const std::string&) {
    return true;
}

} // namespace platform
