#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/import/ImportText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace core {

using namespace importing;

ImportSource ReadConnectionsCsv(std::string_view bytes) {
    std::string converted;
    const std::string_view text = FileText(bytes, converted);
    ImportSource source;
    source.format = ImportFormat::ConnectionsCsv;
    source.idFields = {"Hostname", "Description"};
    RowWriter rows(source);
    // No quoting: one record a line, ';' between fields. Only the first columns are read by
    // their header's names; the later ones are shifted in such files.
    std::optional<size_t> name;
    std::optional<size_t> host;
    std::optional<size_t> description;
    std::optional<size_t> folder;
    bool first = true;
    std::vector<std::string_view> record;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (TrimmedView(line).empty()) {
            continue;
        }
        record.clear();
        size_t from = 0;
        while (true) {
            const size_t semicolon = line.find(';', from);
            record.push_back(TrimmedView(line.substr(from, semicolon - from)));
            if (semicolon == std::string_view::npos) {
                break;
            }
            from = semicolon + 1;
        }
        if (first) {
            first = false;
            name = Column(record, "name");
            host = Column(record, "hostname");
            description = Column(record, "description");
            folder = Column(record, "folder");
            if (!name || !host) {
                throw Exception(
                    "The first line of this file does not name the columns Name and Hostname");
            }
            continue;
        }
        // The folders in front of the name, as the same manager's XML has them.
        std::vector<std::string> containers;
        const std::string_view path = Field(record, folder);
        for (size_t from = 0; from < path.size();) {
            size_t end = path.find_first_of("\\/", from);
            end = end == std::string_view::npos ? path.size() : end;
            if (const std::string part = Trimmed(path.substr(from, end - from)); !part.empty()) {
                containers.push_back(part);
            }
            from = end + 1;
        }
        const TextSpan rowName =
            rows.Name(JoinedPath(containers, std::string(Field(record, name))));
        const TextSpan hostValue = rows.Value(Field(record, host));
        rows.Row(rowName, {hostValue, rows.Value(Field(record, description))});
        source.notes.push_back(rows.Text(Field(record, description)));
    }
    source.defaultField = FirstFieldWithIds(source);
    return source;
}

} // namespace core
