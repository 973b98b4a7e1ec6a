#include "core/import/ImportText.h"

#include "base/Exception.h"
#include "core/DisplayText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace core::importing {

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

} // namespace

std::string_view WithoutBom(std::string_view bytes) {
    return bytes.substr(0, 3) == Bom ? bytes.substr(3) : bytes;
}

// A file with NUL bytes, or many other control bytes, is no text file of any of the formats.
void RefuseBinary(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 64 * 1024);
    size_t controls = 0;
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            throw Exception("This is a binary file, not a list of clients");
        }
        if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') {
            ++controls;
        }
    }
    if (controls * 100 > head.size() + 100) {
        throw Exception("This is a binary file, not a list of clients");
    }
}

// The file's text as UTF-8, after refusing a binary file: the bytes themselves when they are
// UTF-8 (no copy), otherwise read as Windows-1252 into converted.
std::string_view FileText(std::string_view bytes, std::string& converted) {
    RefuseBinary(bytes);
    bytes = WithoutBom(bytes);
    if (IsUtf8(bytes)) {
        return bytes;
    }
    converted = DisplayUtf8(bytes);
    return converted;
}

std::string_view TrimmedView(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Trimmed(std::string_view text) {
    return std::string(TrimmedView(text));
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

bool StartsWithId(std::string_view text) {
    return text.size() >= 3 && (text[0] | 0x20) == 'i' && (text[1] | 0x20) == 'd' && text[2] == ':';
}

// The repeater ID a value holds: all digits, or "ID:" and digits.
std::optional<std::string_view> RepeaterId(std::string_view value) {
    std::string_view text = TrimmedView(value);
    if (StartsWithId(text)) {
        text = TrimmedView(text.substr(3));
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return text;
}

std::optional<size_t> Column(const std::vector<std::string_view>& header, std::string_view name) {
    for (size_t i = 0; i < header.size(); ++i) {
        if (Lower(TrimmedView(header[i])) == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::string_view Field(const std::vector<std::string_view>& record, std::optional<size_t> column) {
    return column && *column < record.size() ? record[*column] : std::string_view();
}

// The field whose values first give an ID, for sources with several.
// The folders a connection stands in, then its name. Deep folders would repeat a long path in
// every name: only what a name can keep of both ends is joined, the middle marked with "…".
std::string JoinedPath(const std::vector<std::string>& containers, const std::string& name) {
    constexpr size_t Budget = (MaxNameCharacters / 2 + 1) * 4;
    std::string path;
    size_t front = 0;
    for (; front < containers.size() && path.size() < Budget; ++front) {
        path += containers[front] + " / ";
    }
    size_t back = containers.size();
    for (size_t tail = 0; back > front && tail < Budget;) {
        --back;
        tail += containers[back].size() + 3;
    }
    if (back > front) {
        path += "\xE2\x80\xA6 / ";
    }
    for (; back < containers.size(); ++back) {
        path += containers[back] + " / ";
    }
    return path + name;
}

size_t FirstFieldWithIds(const ImportSource& source) {
    for (size_t field = 0; field < source.idFields.size(); ++field) {
        for (size_t row = 0; row < source.Rows(); ++row) {
            if (RepeaterId(source.Value(row, field))) {
                return field;
            }
        }
    }
    return 0;
}

} // namespace core::importing
