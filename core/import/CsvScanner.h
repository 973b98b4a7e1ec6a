#pragma once

#include "core/import/ImportText.h"

#include <string>
#include <string_view>
#include <vector>

namespace core::importing {

// RFC 4180 records: fields in double quotes may hold the separator, quotes (doubled) and line
// breaks. A quote left open names the line it opened on. onRecord gets each record's fields
// as pieces of one scratch text, kept between records so that reading allocates little.
template <class OnRecord> void ScanCsv(std::string_view text, char separator, OnRecord&& onRecord) {
    std::string scratch;
    std::vector<std::string_view> fields;
    std::vector<TextSpan> spans;
    bool quoted = false;
    bool wasQuoted = false;
    size_t fieldStart = 0;
    size_t line = 1;
    size_t quoteLine = 0;
    const auto endField = [&] {
        TextSpan span{static_cast<uint32_t>(fieldStart),
                      static_cast<uint32_t>(scratch.size() - fieldStart)};
        if (!wasQuoted) {
            while (span.size > 0 && IsBlank(scratch[span.at])) {
                ++span.at;
                --span.size;
            }
            while (span.size > 0 && IsBlank(scratch[span.at + span.size - 1])) {
                --span.size;
            }
        }
        spans.push_back(span);
        fieldStart = scratch.size();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        if (!(spans.size() == 1 && spans[0].size == 0)) {
            fields.clear();
            for (const TextSpan span : spans) {
                fields.push_back(std::string_view(scratch).substr(span.at, span.size));
            }
            onRecord(fields);
        }
        scratch.clear();
        spans.clear();
        fieldStart = 0;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    scratch += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                line += c == '\n';
                scratch += c;
            }
        } else if (c == '"' && !wasQuoted &&
                   TrimmedView(std::string_view(scratch).substr(fieldStart)).empty()) {
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
            scratch.resize(fieldStart);
        } else if (c == separator) {
            endField();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            ++line;
            endRecord();
        } else if (c == '"') {
            throw Exception("Line " + std::to_string(line) +
                            " has a quote inside a field that does not start with one");
        } else if (!wasQuoted) {
            scratch += c;
        }
    }
    if (quoted) {
        throw Exception("Line " + std::to_string(quoteLine) +
                        " opens a quote that is never closed");
    }
    endRecord();
}

// The separator of the first line: the one of ',' and ';' that stands outside quotes more often.
char CsvSeparator(std::string_view text);

} // namespace core::importing
