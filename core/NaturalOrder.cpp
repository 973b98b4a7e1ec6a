#include "core/NaturalOrder.h"

#include <algorithm>

namespace core {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digit run starting at a text's start.
std::string_view DigitRun(std::string_view text) {
    size_t end = 0;
    while (end < text.size() && IsDigit(text[end])) {
        ++end;
    }
    return text.substr(0, end);
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

} // namespace

int NaturalCompare(std::string_view a, std::string_view b) {
    // Equal numbers written differently ("7", "007") are told apart only at the end.
    int zeros = 0;
    while (!a.empty() && !b.empty()) {
        if (IsDigit(a.front()) && IsDigit(b.front())) {
            const std::string_view runA = DigitRun(a);
            const std::string_view runB = DigitRun(b);
            const std::string_view numberA = WithoutLeadingZeros(runA);
            const std::string_view numberB = WithoutLeadingZeros(runB);
            // Any length of digits: a longer number is a larger one.
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size() ? -1 : 1;
            }
            if (const int c = numberA.compare(numberB); c != 0) {
                return c < 0 ? -1 : 1;
            }
            if (zeros == 0 && runA.size() != runB.size()) {
                zeros = runA.size() < runB.size() ? -1 : 1;
            }
            a.remove_prefix(runA.size());
            b.remove_prefix(runB.size());
            continue;
        }
        const auto ca = static_cast<unsigned char>(a.front());
        const auto cb = static_cast<unsigned char>(b.front());
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    if (a.size() != b.size()) {
        return a.empty() ? -1 : 1;
    }
    return zeros;
}

} // namespace core
