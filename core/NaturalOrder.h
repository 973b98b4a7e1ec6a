#pragma once

#include <string_view>

namespace core {

// Compares texts as a person reads them: runs of digits as the numbers they are, so "PC 2"
// comes before "PC 10" and "007" equals "7" (the shorter written first), everything else byte
// by byte. Negative, zero or positive, as strcmp.
int NaturalCompare(std::string_view a, std::string_view b);

} // namespace core
