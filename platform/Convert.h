#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The runtime's text-to-integer conversion: leading blanks, an optional sign, then decimal
// digits, or hexadecimal after "$" or (when more follows) "0x"/"0X". Decimal must fit a signed
// 32-bit integer; hexadecimal may fill all 32 bits ($FFFFFFFF is -1). Nothing else may follow.
std::optional<int32_t> TryStrToInt(std::string_view text);

// The same; throws EConvertError "'<text>' is not a valid integer value" when it fails.
int32_t StrToInt(const std::string& text);
