#include "platform/TextLines.h"

#include <cstring>
#include <type_traits>

namespace platform {

namespace {

template <class Line> std::vector<Line> Split(std::string_view text) {
    std::vector<Line> lines;
    if (text.empty()) {
        return lines;
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    // Every line ends at a break, and CR LF files have one LF per line: a close first guess.
    // Views are cheap enough to guess from the size instead.
    if constexpr (std::is_same_v<Line, std::string_view>) {
        lines.reserve(text.size() / 16 + 1);
    } else {
        size_t breaks = 0;
        for (const char* q = p;
             q < end && (q = static_cast<const char*>(std::memchr(q, '\n', end - q))); ++q) {
            ++breaks;
        }
        lines.reserve(breaks + 1);
    }
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') {
            ++q;
        }
        lines.emplace_back(p, static_cast<size_t>(q - p));
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

template <class Line> std::string Join(const std::vector<Line>& lines) {
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

} // namespace

std::vector<std::string> SplitLines(std::string_view text) {
    return Split<std::string>(text);
}

std::vector<std::string_view> SplitLineViews(std::string_view text) {
    return Split<std::string_view>(text);
}

std::string JoinLines(const std::vector<std::string>& lines) {
    return Join(lines);
}

std::string JoinLineViews(const std::vector<std::string_view>& lines) {
    return Join(lines);
}

} // namespace platform
