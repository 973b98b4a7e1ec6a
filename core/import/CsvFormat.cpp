#include "core/Import.h"

#include "base/Exception.h"
#include "core/ClientNotes.h"
#include "core/DisplayText.h"
#include "core/EscapedText.h"
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

namespace {

// The columns offered where the user picks the ID's and the name's: a client list has a few.
constexpr size_t MaxChosenColumns = 64;
// The most pieces such a file keeps of its columns: cells cost room even where they are empty.
constexpr size_t MaxCells = MaxImportBytes / 32;

// A first row that holds no ID is a header naming the columns, whatever the names.
bool IsHeader(const std::vector<std::string_view>& record) {
    return std::none_of(record.begin(), record.end(), [](std::string_view cell) {
        return RepeaterId(Undefused(TrimmedView(cell))).has_value();
    });
}

// Whether a column's title says it holds IDs: "ID", "Fernwartungs-ID", "id number".
bool TitleSaysId(std::string_view title) {
    const std::string lower = Lower(title);
    size_t at = 0;
    while (at < lower.size()) {
        const size_t end = lower.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789", at);
        if (lower.substr(at, end - at) == "id") {
            return true;
        }
        at = end == std::string::npos ? end : end + 1;
    }
    return false;
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
    // Our export's extra columns, and any list's that names them so.
    std::optional<size_t> tagsColumn;
    std::optional<size_t> noteColumn;
    bool first = true;
    // A file whose first row names no "name" and "id" columns leaves both to the user: every
    // column may hold either, each row keeps all of them.
    size_t columns = 0;
    const auto everyColumn = [&](const std::vector<std::string_view>& record) {
        if (source.values.size() + columns > MaxCells) {
            throw Exception("The clients in this file take more room than any list of clients "
                            "(too many columns)");
        }
        const TextSpan name = rows.Name(Undefused(Field(record, 0)));
        std::vector<TextSpan> names{name};
        for (size_t column = 1; column < columns; ++column) {
            names.push_back(rows.Name(Undefused(Field(record, column))));
        }
        for (size_t column = 0; column < columns; ++column) {
            source.values.push_back(rows.Value(Undefused(Field(record, column))));
        }
        source.nameValues.insert(source.nameValues.end(), names.begin(), names.end());
        source.names.push_back(name);
        source.unusable.push_back(Unusable::No);
    };
    ScanCsv(text, CsvSeparator(text), [&](const std::vector<std::string_view>& record) {
        if (first) {
            first = false;
            nameColumn = Column(record, "name");
            idColumn = Column(record, "id");
            if (nameColumn && idColumn) {
                tagsColumn = Column(record, "tags");
                noteColumn = Column(record, "note");
                return;
            }
            columns = std::clamp<size_t>(record.size(), 1, MaxChosenColumns);
            source.nameChoice = true;
            source.idFields.clear();
            const bool header = IsHeader(record);
            for (size_t column = 0; column < columns; ++column) {
                const std::string title = header ? Trimmed(Undefused(Field(record, column))) : "";
                source.idFields.push_back(title.empty() ? "column " + std::to_string(column + 1)
                                                        : title);
            }
            if (header) {
                return;
            }
        }
        if (source.nameChoice) {
            everyColumn(record);
            return;
        }
        const TextSpan name = rows.Name(Undefused(Field(record, nameColumn)));
        rows.Row(name, {rows.Value(Undefused(Field(record, idColumn)))});
        if (tagsColumn) {
            source.tags.push_back(rows.Text(Undefused(Field(record, tagsColumn))));
        }
        if (noteColumn) {
            source.notes.push_back(rows.Text(Undefused(Field(record, noteColumn))));
        }
    });
    if (source.nameChoice) {
        // The ID from a column titled so, else the first that holds IDs; the name from the
        // first other column. The preview shows the choice, which the user may change.
        const auto titled =
            std::find_if(source.idFields.begin(), source.idFields.end(),
                         [](const std::string& title) { return TitleSaysId(title); });
        source.defaultField = titled != source.idFields.end()
                                  ? static_cast<size_t>(titled - source.idFields.begin())
                                  : FirstFieldWithIds(source);
        source.defaultNameField = source.idFields.size() > 1 && source.defaultField == 0 ? 1 : 0;
        if (source.defaultNameField != 0) {
            for (size_t row = 0; row < source.Rows(); ++row) {
                source.names[row] = source.nameValues[row * columns + source.defaultNameField];
            }
        }
    }
    return source;
}

std::string CsvCell(std::string_view text) {
    return CsvField(WithoutControlCharacters(text));
}

std::string ExportCsv(const Book& book, const ClientNotes* notes) {
    const std::vector<std::string>& names = book.names;
    const std::vector<std::string>& ids = book.ids;
    const size_t rows = std::min(names.size(), ids.size());
    const auto extra = [&](size_t row) {
        return notes ? notes->Find(names[row], ids[row]) : nullptr;
    };
    bool extras = false;
    for (size_t i = 0; i < rows && notes && !notes->Empty() && !extras; ++i) {
        extras = extra(i) != nullptr;
    }
    std::string out = extras ? "name,id,tags,note\r\n" : "name,id\r\n";
    for (size_t i = 0; i < rows; ++i) {
        // As the window shows them, without the control characters no typed row holds: a
        // file that holds them would read as binary.
        out += CsvField(WithoutControlCharacters(DisplayUtf8(names[i]))) + ',' +
               CsvField(WithoutControlCharacters(DisplayUtf8(ids[i])));
        if (extras) {
            const ClientExtra* found = extra(i);
            out += ',' + CsvCell(found ? TagsField(found->tags) : std::string()) + ',' +
                   CsvCell(found ? OnOneLine(found->note) : std::string());
        }
        out += "\r\n";
    }
    return out;
}

} // namespace core
