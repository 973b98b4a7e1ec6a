#include "ProfileFile.h"

#include <windows.h>

namespace platform {

std::string GetProfileValue(std::string_view section, std::string_view key,
                            std::string_view defaultValue, const std::string& path) {
    char buffer[2048] = {};
    const std::string s(section);
    const std::string k(key);
    const std::string d(defaultValue);
    const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer,
                                               sizeof buffer, path.c_str());
    return std::string(buffer, n);
}

bool SetProfileValue(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& path) {
    const std::string s(section);
    const std::string k(key);
    const std::string v(value);
    return ::WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), path.c_str()) != 0;
}

bool FlushProfile(const std::string& path) {
    // Only the file name: the system writes its cached changes out.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return true;
}

} // namespace platform
