#include "core/EscapedText.h"

namespace core {

std::string EscapeField(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
                escaped += c;
            }
        }
    }
    return escaped;
}

std::optional<std::string> UnescapeField(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case '\\':
            text += '\\';
            break;
        case 't':
            text += '\t';
            break;
        case 'n':
            text += '\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::string OnOneLine(std::string text) {
    for (char& c : text) {
        c = c == '\n' || c == '\t' ? ' ' : c;
    }
    return text;
}

} // namespace core
