#pragma once

#include <string_view>

// Reads a settings flag: a 32-bit integer, decimal, or hexadecimal after "$" or (when longer
// than two characters) after "0x"/"0X", with an optional sign. Non-zero is true; anything
// that is not such a number gives the default.
bool ReadFlag(std::string_view text, bool defaultValue);

// "1" or "0", as flags are written.
inline const char* FlagText(bool value) {
    return value ? "1" : "0";
}
