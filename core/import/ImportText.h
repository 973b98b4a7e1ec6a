#pragma once

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/ClientNotes.h"
#include "core/Import.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What every reader of a book's file shares: the file's text, trimming, the repeater ID rule,
// header columns and the writer of a source's rows.
namespace core::importing {

std::string_view WithoutBom(std::string_view bytes);
// A file with NUL bytes, or many other control bytes, is no text file of any of the formats.
void RefuseBinary(std::string_view bytes);
// The file's text as UTF-8, after refusing a binary file: the bytes themselves when they are
// UTF-8 (no copy), otherwise read as Windows-1252 into converted.
std::string_view FileText(std::string_view bytes, std::string& converted);
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
std::string_view TrimmedView(std::string_view text);
std::string Trimmed(std::string_view text);
std::string Lower(std::string_view text);
bool StartsWithId(std::string_view text);
// The repeater ID a value holds: all digits, or "ID:" and digits.
std::optional<std::string_view> RepeaterId(std::string_view value);
// The header's column of that name (any case), if there is one.
std::optional<size_t> Column(const std::vector<std::string_view>& header, std::string_view name);
std::string_view Field(const std::vector<std::string_view>& record, std::optional<size_t> column);
// The folders a connection stands in, then its name ("Customers / North / Baker & Sons"); deep
// folders keep what a name can hold of both ends, the middle marked with "…".
std::string JoinedPath(const std::vector<std::string>& containers, const std::string& name);
// The field whose values first give an ID, for sources with several.
size_t FirstFieldWithIds(const ImportSource& source);

// Builds a source's text and rows; names lose control characters as typed names do.
class RowWriter {
public:
    explicit RowWriter(ImportSource& source) : source_(source) {}

    TextSpan Name(std::string_view name) {
        const auto at = static_cast<uint32_t>(source_.text.size());
        // The rule every name of the book follows, whatever its source.
        const std::string clean = CleanName(TrimmedView(name));
        source_.text.append(TrimmedView(clean));
        Bound();
        return {at, static_cast<uint32_t>(source_.text.size() - at)};
    }
    TextSpan Value(std::string_view value) {
        // An ID field longer than a name can be is no ID: what is kept of it only says why.
        const std::string_view trimmed = TrimmedView(value).substr(0, MaxNameCharacters);
        const auto at = static_cast<uint32_t>(source_.text.size());
        source_.text.append(trimmed);
        Bound();
        return {at, static_cast<uint32_t>(trimmed.size())};
    }
    // A note or tags as the file has them, cut at a note's limit.
    TextSpan Text(std::string_view text) {
        const std::string_view kept = TrimmedView(text).substr(0, MaxNoteBytes);
        const auto at = static_cast<uint32_t>(source_.text.size());
        source_.text.append(kept);
        Bound();
        return {at, static_cast<uint32_t>(kept.size())};
    }
    void Row(TextSpan name, std::initializer_list<TextSpan> values, Unusable unusable = {}) {
        source_.names.push_back(name);
        source_.values.insert(source_.values.end(), values);
        source_.unusable.push_back(unusable);
    }

private:
    // What a file brings is held whole until the preview is done: never more than any book.
    void Bound() const {
        if (source_.text.size() > MaxImportBytes) {
            throw Exception("The clients in this file take more room than any list of clients "
                            "(over " +
                            std::to_string(MaxImportBytes / (1024 * 1024)) + " MB)");
        }
    }

    ImportSource& source_;
};

} // namespace core::importing
