#include "Flags.h"

#include <cstdint>
#include <optional>

namespace {

std::optional<int64_t> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Hexadecimal may fill all 32 bits ($FFFFFFFF is -1); decimal must fit a signed int.
    const int64_t limit = base == 16 ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
    int64_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return negative ? -value : value;
}

} // namespace

bool ReadFlag(std::string_view text, bool defaultValue) {
    const auto value = ParseInteger(text);
    return value ? *value != 0 : defaultValue;
}
