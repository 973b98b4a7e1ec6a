#include "platform/ProfileFile.h"

#include "platform/ProfileText.h"

#include <windows.h>

namespace platform {

// The system keeps its own cache of the file: nothing of ours to hold.
struct ProfileFile::Text {};

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {}

ProfileFile::~ProfileFile() = default;

bool ProfileFile::WritesThrough() {
    return true;
}

std::string ProfileFile::Value(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    char buffer[ProfileText::MaxValueLength + 1] = {};
    const std::string s(section);
    const std::string k(key);
    const std::string d(defaultValue);
    const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer,
                                               sizeof buffer, path_.c_str());
    return std::string(buffer, n);
}

bool ProfileFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::string s(section);
    const std::string k(key);
    const std::string v(value);
    return ::WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), path_.c_str()) != 0;
}

std::optional<std::string> ProfileFile::TakePendingBytes() {
    return std::nullopt;
}

bool ProfileFile::Flush() {
    // Only the file name: the system writes its cached changes out.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
    return true;
}

} // namespace platform
