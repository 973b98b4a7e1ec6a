#include "core/import/XmlReader.h"

#include <string>

namespace core::importing {
namespace {

void AppendUtf8(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        throw Exception("The XML file holds a character reference that is no character");
    }
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::string XmlUnescaped(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const size_t end = text.find(';', i);
        if (end == std::string_view::npos || end - i > 12) {
            throw Exception("The XML file holds an '&' that starts no reference");
        }
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        static const std::map<std::string_view, char> named{
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (const auto found = named.find(entity); found != named.end()) {
            out += found->second;
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string digits(entity.substr(hex ? 2 : 1));
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                throw Exception("The XML file holds a character reference that is no number");
            }
            AppendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
        } else {
            throw Exception("The XML file uses an entity it would have to declare: refused");
        }
        i = end + 1;
    }
    return out;
}

std::string LocalName(std::string_view name) {
    const size_t colon = name.rfind(':');
    return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

} // namespace core::importing
