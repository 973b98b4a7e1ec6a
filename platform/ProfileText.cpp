#include "ProfileText.h"

#include "TextLines.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

std::string Joined(std::string_view first, std::string_view middle, std::string_view last) {
    std::string line;
    line.reserve(first.size() + middle.size() + last.size());
    line.append(first).append(middle).append(last);
    return line;
}

} // namespace

ProfileText::ProfileText(std::string_view bytes) : lines_(SplitLines(bytes)) {}

ProfileText::Entry ProfileText::Classify(size_t index) const {
    std::string_view line = lines_[index];
    if (index == 0 && line.substr(0, Bom.size()) == Bom) {
        line.remove_prefix(Bom.size());
    }
    line = Trim(line);
    Entry entry;
    if (line.empty()) {
        return entry;
    }
    if (line.front() == '[') {
        const size_t close = line.find(']');
        if (close != std::string_view::npos) {
            entry.kind = Entry::Section;
            entry.name = Trim(line.substr(1, close - 1));
        }
        return entry;
    }
    entry.kind = Entry::Key;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        entry.name = line;
    } else {
        entry.name = Trim(line.substr(0, eq));
        entry.value = Trim(line.substr(eq + 1));
    }
    return entry;
}

size_t ProfileText::FindSectionBody(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Entry entry = Classify(i);
        if (entry.kind == Entry::Section && SameName(entry.name, section)) {
            return i + 1;
        }
    }
    return std::string::npos;
}

std::optional<std::string> ProfileText::Value(std::string_view section,
                                              std::string_view key) const {
    const size_t body = FindSectionBody(section);
    if (body == std::string::npos) {
        return std::nullopt;
    }
    for (size_t i = body; i < lines_.size(); ++i) {
        const Entry entry = Classify(i);
        if (entry.kind == Entry::Section) {
            break;
        }
        if (entry.kind == Entry::Key && SameName(entry.name, key)) {
            if (!entry.value) {
                return std::nullopt;
            }
            std::string_view value = *entry.value;
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value.substr(0, MaxValueLength));
        }
    }
    return std::nullopt;
}

void ProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    // A value is one line: a line break in it would forge further keys.
    value = value.substr(0, value.find_first_of("\r\n"));
    const size_t body = FindSectionBody(section);
    if (body == std::string::npos) {
        lines_.push_back(Joined("[", section, "]"));
        lines_.push_back(Joined(key, "=", value));
        return;
    }
    size_t insertAt = body;
    for (size_t i = body; i < lines_.size(); ++i) {
        const Entry entry = Classify(i);
        if (entry.kind == Entry::Section) {
            break;
        }
        if (entry.kind == Entry::Key && SameName(entry.name, key)) {
            lines_[i] = Joined(entry.name, "=", value);
            return;
        }
        if (entry.kind != Entry::Other || !Trim(lines_[i]).empty()) {
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Joined(key, "=", value));
}

std::string ProfileText::Bytes() const {
    return JoinLines(lines_);
}

} // namespace platform
