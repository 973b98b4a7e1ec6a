#include "TextLines.h"

#include <cstring>

namespace platform {

std::vector<std::string> SplitLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
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
