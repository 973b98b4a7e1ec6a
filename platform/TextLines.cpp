#include "platform/TextLines.h"

#include <cstring>

namespace platform {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty()) {
        return lines;
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    // Every line ends at a break, and CR LF files have one LF per line: a close first guess.
    size_t breaks = 0;
    for (const char* q = p;
         q < end && (q = static_cast<const char*>(std::memchr(q, '\n', end - q))); ++q) {
        ++breaks;
    }
    lines.reserve(breaks + 1);
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') {
            ++q;
        }
        lines.emplace_back(p, q);
        if (q == end) {
            break;
        }
        p = q + 1;
        if (*q == '\r' && p < end && *p == '\n') {
            ++p;
        }
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const auto& line : lines) {
        size += line.size() + 2;
    }
    std::string out;
    out.resize(size);
    char* p = out.data();
    for (const auto& line : lines) {
        std::memcpy(p, line.data(), line.size());
        p += line.size();
        *p++ = '\r';
        *p++ = '\n';
    }
    return out;
}

} // namespace platform
