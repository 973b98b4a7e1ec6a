#include "platform/ProfileText.h"

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

// A value without one pair of enclosing quotes.
std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string Joined(std::string_view first, std::string_view middle, std::string_view last) {
    std::string line;
    line.reserve(first.size() + middle.size() + last.size());
    line.append(first).append(middle).append(last);
    return line;
}

} // namespace

ProfileText::ProfileText(std::string_view bytes) {
    bool endingSeen = false;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t stop = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        size_t next = stop;
        std::string_view ending;
        if (stop < bytes.size()) {
            const bool crlf =
                bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n';
            ending = crlf ? "\r\n" : (bytes[stop] == '\r' ? "\r" : "\n");
            next = stop + ending.size();
            if (!endingSeen) {
                ending_ = ending;
                endingSeen = true;
            }
        }
        lines_.push_back({std::string(bytes.substr(start, stop - start)), ending});
        start = next;
    }
}

ProfileText::Entry ProfileText::Classify(size_t index) const {
    std::string_view line = lines_[index].text;
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
    section = Trim(section);
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
    key = Trim(key);
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
            return std::string(Unquoted(*entry.value).substr(0, MaxValueLength));
        }
    }
    return std::nullopt;
}

void ProfileText::Insert(size_t at, std::string text) {
    // The line before it gets a break, should it be a last line without one.
    if (at > 0 && lines_[at - 1].ending.empty()) {
        lines_[at - 1].ending = ending_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), {std::move(text), ending_});
    changed_ = true;
}

void ProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    // A value is one line: a line break in it would forge further keys.
    value = value.substr(0, value.find_first_of("\r\n"));
    const size_t body = FindSectionBody(section);
    if (body == std::string::npos) {
        Insert(lines_.size(), Joined("[", section, "]"));
        Insert(lines_.size(), Joined(key, "=", value));
        return;
    }
    size_t insertAt = body;
    for (size_t i = body; i < lines_.size(); ++i) {
        const Entry entry = Classify(i);
        if (entry.kind == Entry::Section) {
            break;
        }
        if (entry.kind == Entry::Key && SameName(entry.name, key)) {
            // A line that already holds the value keeps its own spacing and quotes.
            if (entry.value && (*entry.value == value || Unquoted(*entry.value) == value)) {
                return;
            }
            lines_[i].text = Joined(entry.name, "=", value);
            changed_ = true;
            return;
        }
        if (entry.kind != Entry::Other || !Trim(lines_[i].text).empty()) {
            insertAt = i + 1;
        }
    }
    Insert(insertAt, Joined(key, "=", value));
}

std::string ProfileText::Bytes() const {
    std::string out;
    for (const Line& line : lines_) {
        out.append(line.text).append(line.ending);
    }
    return out;
}

std::string ProfileDefault(std::string_view defaultValue) {
    const size_t last = defaultValue.find_last_not_of(' ');
    defaultValue =
        last == std::string_view::npos ? std::string_view{} : defaultValue.substr(0, last + 1);
    return std::string(defaultValue.substr(0, ProfileText::MaxValueLength));
}

} // namespace platform
