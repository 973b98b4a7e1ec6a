#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/import/CsvScanner.h"
#include "core/import/ImportText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace core {

using namespace importing;

namespace {

bool NeedsQuotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

// A cell a spreadsheet would run as a formula: it starts with one of these.
bool StartsFormula(std::string_view field) {
    return !field.empty() && std::strchr("=+-@\t\r", field.front()) != nullptr;
}

// The apostrophe that keeps a spreadsheet from running a cell as a formula (and one more in
// front of a cell that starts with one, so that reading it back takes exactly one away).
bool Defused(std::string_view field) {
    return field.size() > 1 && field.front() == '\'' &&
           (StartsFormula(field.substr(1)) || field[1] == '\'');
}

std::string_view Undefused(std::string_view field) {
    return Defused(field) ? field.substr(1) : field;
}

std::string CsvField(std::string_view text) {
    const bool defuse = StartsFormula(text) || (!text.empty() && text.front() == '\'');
    std::string field;
    field.reserve(text.size() + 1);
    if (defuse) {
        field += '\'';
    }
    field.append(text);
    if (!defuse && !NeedsQuotes(field)) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

} // namespace

ImportSource ReadCsv(std::string_view bytes) {
    std::string converted;
    const std::string_view text = FileText(bytes, converted);
    ImportSource source;
    source.format = ImportFormat::Csv;
    source.idFields = {"id"};
    // About one row for every 24 bytes, each row's name and ID at most the row's own bytes.
    source.text.reserve(text.size());
    source.names.reserve(text.size() / 24);
    source.values.reserve(text.size() / 24);
    source.unusable.reserve(text.size() / 24);
    RowWriter rows(source);
    std::optional<size_t> nameColumn;
    std::optional<size_t> idColumn;
    bool first = true;
    ScanCsv(text, CsvSeparator(text), [&](const std::vector<std::string_view>& record) {
        if (first) {
            first = false;
            nameColumn = Column(record, "name");
            idColumn = Column(record, "id");
            if (nameColumn && idColumn) {
                return;
            }
            // No header naming the columns: the first is the name, the second the ID.
            nameColumn = 0;
            idColumn = 1;
        }
        const TextSpan name = rows.Name(Undefused(Field(record, nameColumn)));
        rows.Row(name, {rows.Value(Undefused(Field(record, idColumn)))});
    });
    return source;
}

std::string ExportCsv(const Book& book) {
    const std::vector<std::string>& names = book.names;
    const std::vector<std::string>& ids = book.ids;
    std::string out = "name,id\r\n";
    const size_t rows = std::min(names.size(), ids.size());
    for (size_t i = 0; i < rows; ++i) {
        // As the window shows them, without the control characters no typed row holds: a
        // file that holds them would read as binary.
        out += CsvField(WithoutControlCharacters(DisplayUtf8(names[i]))) + ',' +
               CsvField(WithoutControlCharacters(DisplayUtf8(ids[i]))) + "\r\n";
    }
    return out;
}

} // namespace core
