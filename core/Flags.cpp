#include "core/Flags.h"

#include "platform/Convert.h"

bool ReadFlag(std::string_view text, bool defaultValue) {
    const auto value = TryStrToInt(text);
    return value ? *value != 0 : defaultValue;
}
