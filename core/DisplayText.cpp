#include "core/DisplayText.h"

#include <algorithm>

namespace core {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned codes stay as the
// C1 control of the same value, as Windows itself maps them.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view Ellipsis = "\xE2\x80\xA6";

bool IsControl(unsigned char c) {
    return IsControlCharacter(c);
}

// Length of the UTF-8 sequence starting at text[i], or 0 when none starts there. A sequence
// cut by the end of a text that was itself cut (truncated) counts as whole.
size_t SequenceLength(std::string_view text, size_t i, bool truncated) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= text.size()) {
            return truncated ? text.size() - i : 0;
        }
        const unsigned char c = at(i + k);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

void AppendUtf8(std::string& out, char16_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point of a whole UTF-8 sequence of the given length.
char32_t Decode(std::string_view text, size_t i, size_t length) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    switch (length) {
    case 2:
        return static_cast<char32_t>(((at(0) & 0x1F) << 6) | (at(1) & 0x3F));
    case 3:
        return static_cast<char32_t>(((at(0) & 0x0F) << 12) | ((at(1) & 0x3F) << 6) |
                                     (at(2) & 0x3F));
    case 4:
        return static_cast<char32_t>(((at(0) & 0x07) << 18) | ((at(1) & 0x3F) << 12) |
                                     ((at(2) & 0x3F) << 6) | (at(3) & 0x3F));
    default:
        return at(0);
    }
}

// Whether a UTF-8 sequence with this lead byte can encode an invisible character at all: most
// text (ASCII, Latin accents, most scripts) is passed without being decoded.
bool MayBeInvisible(unsigned char lead) {
    switch (lead) {
    case 0xC2: // U+0080..U+00BF: the C1 controls, the soft hyphen
    case 0xCD: // U+034F
    case 0xD8: // U+061C
    case 0xE1: // U+115F, U+1160, U+17B4, U+17B5, U+180B..U+180F
    case 0xE2: // U+200B..U+206F
    case 0xE3: // U+3164
    case 0xEF: // U+FEFF, U+FFA0, U+FFF9..U+FFFB
    case 0xF0: // U+1BCA0.., U+1D173..
    case 0xF3: // U+E0000..U+E007F
        return true;
    default:
        return false;
    }
}

} // namespace

bool IsInvisibleCharacter(char32_t c) {
    if (c < 0x80) {
        return false;
    }
    return (c >= 0x80 && c <= 0x9F) || c == 0xAD || c == 0x34F || c == 0x61C || c == 0x115F ||
           c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || c == 0xFEFF || c == 0xFFA0 ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
           (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE007F);
}

std::string CleanName(std::string_view text) {
    const bool utf8 = IsUtf8(text);
    const auto lengthAt = [utf8](std::string_view t, size_t i) {
        return utf8 ? SequenceLength(t, i, false) : size_t{1};
    };
    // Both ends say most about a client ("Clinic / … / Front desk"): past the limit the middle
    // goes. The tail is trimmed as it grows, so a huge name costs no more than a short one.
    const size_t headKeep = (MaxNameCharacters - 1) / 2;
    const size_t tailKeep = MaxNameCharacters - 1 - headKeep;
    std::string head;
    std::string tail;
    size_t headCharacters = 0;
    size_t tailCharacters = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = lengthAt(text, i);
        const char32_t c = utf8 ? Decode(text, i, length) : static_cast<unsigned char>(text[i]);
        if (!IsControlCharacter(c) && !(utf8 && IsInvisibleCharacter(c))) {
            if (headCharacters < MaxNameCharacters) {
                head.append(text.substr(i, length));
                ++headCharacters;
            } else {
                tail.append(text.substr(i, length));
                if (++tailCharacters > 2 * MaxNameCharacters) {
                    size_t drop = 0;
                    for (size_t k = 0; k < tailCharacters - tailKeep; ++k) {
                        drop += lengthAt(tail, drop);
                    }
                    tail.erase(0, drop);
                    tailCharacters = tailKeep;
                }
            }
        }
        i += length;
    }
    if (tailCharacters == 0) {
        return head;
    }
    // The head's last characters and the tail make up the name's last tailKeep characters.
    std::string end = head + tail;
    size_t endCharacters = headCharacters + tailCharacters;
    size_t from = 0;
    for (; endCharacters > tailKeep; --endCharacters) {
        from += lengthAt(end, from);
    }
    size_t headBytes = 0;
    for (size_t k = 0; k < headKeep; ++k) {
        headBytes += lengthAt(head, headBytes);
    }
    return head.substr(0, headBytes) + std::string(Ellipsis) + end.substr(from);
}

std::string DisplayUtf8(std::string_view bytes, size_t maxCharacters) {
    // A character takes at most four bytes: what lies beyond cannot be shown.
    const bool cut = maxCharacters != std::string_view::npos && bytes.size() > maxCharacters;
    const std::string_view head =
        cut ? bytes.substr(0, std::min(bytes.size(), maxCharacters * 4)) : bytes;
    const bool truncated = head.size() < bytes.size();

    std::string out;
    out.reserve(head.size() + Ellipsis.size());
    size_t characters = 0;
    size_t consumed = 0;
    bool valid = true;
    while (consumed < head.size() && characters < maxCharacters) {
        const size_t length = SequenceLength(head, consumed, truncated);
        if (length == 0) {
            valid = false;
            break;
        }
        // Whatever source a row came from, what would hide or reorder its text is not shown.
        if (length == 1 || !MayBeInvisible(static_cast<unsigned char>(head[consumed])) ||
            consumed + length > head.size() ||
            !IsInvisibleCharacter(Decode(head, consumed, length))) {
            out.append(head.substr(consumed, length));
            ++characters;
        }
        consumed += length;
    }
    if (!valid) {
        out.clear();
        characters = 0;
        for (consumed = 0; consumed < head.size() && characters < maxCharacters; ++consumed) {
            const auto byte = static_cast<unsigned char>(head[consumed]);
            const char16_t code = byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : byte;
            if (!IsInvisibleCharacter(code)) {
                AppendUtf8(out, code);
                ++characters;
            }
        }
    }
    if (consumed < bytes.size()) {
        out.append(Ellipsis);
    }
    return out;
}

bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = SequenceLength(bytes, i, false);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsControlCharacter(char32_t c) {
    return c < 0x20 || c == 0x7F;
}

std::string WithoutControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(out),
                 [](char c) { return !IsControl(static_cast<unsigned char>(c)); });
    return out;
}

std::string ShownPath(std::string_view path) {
    std::string shown;
    shown.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        const bool separator = c == '/' || c == '\\';
        // A leading pair names a network share on Windows and stays.
        if (separator && i > 1 && !shown.empty() && shown.back() == c) {
            continue;
        }
        shown += c;
    }
    return shown;
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

} // namespace core
