#pragma once

#include <string_view>

// Reads a settings flag with the runtime's text-to-integer conversion: non-zero is true;
// anything that is not an integer gives the default.
bool ReadFlag(std::string_view text, bool defaultValue);

// "1" or "0", as flags are written.
inline const char* FlagText(bool value) {
    return value ? "1" : "0";
}
