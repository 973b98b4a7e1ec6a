#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The files a book can be brought in from, told apart by their content.
enum class ImportFormat {
    Csv,            // ours or a spreadsheet's: a name and an ID a row
    RemoteProfile,  // a key file of one connection, group [remmina]
    ConnectionsXml, // a connection manager's confCons.xml
    ConnectionsCsv, // the same manager's ';'-separated export
};

// One connection as the file has it: a name and the values an ID may be taken from, in the
// order of the source's ID fields.
struct SourceRow {
    std::string name;
    std::vector<std::string> values;
    // Why the row can never be taken whatever field is picked (not a VNC profile, say).
    std::string unusable;
};

// What a file holds, before any choice of the user's.
struct ImportSource {
    ImportFormat format = ImportFormat::Csv;
    // The fields an ID may come from; the user picks one when there are several.
    std::vector<std::string> idFields;
    size_t defaultField = 0;
    std::vector<SourceRow> rows;
};

// The most a file may hold to be read: a book of a million clients is far smaller.
inline constexpr size_t MaxImportBytes = 256u * 1024 * 1024;

// Reads the file's bytes; throws Exception with a message naming what is wrong (a binary file,
// an unbalanced quote and its line, an XML file with a DOCTYPE, an encrypted file) when the
// file cannot be read as a book. fileName (without folder) breaks a tie of formats.
ImportSource ReadImport(std::string_view bytes, std::string_view fileName = {});

// The same for each format, as a fuzzer calls them.
ImportSource ReadCsv(std::string_view bytes);
ImportSource ReadRemoteProfile(std::string_view bytes);
ImportSource ReadConnectionsXml(std::string_view bytes);
ImportSource ReadConnectionsCsv(std::string_view bytes);

// Adds the rows of another file of the same format (the profiles of a folder, one a file).
void Append(ImportSource& to, ImportSource&& more);

// A row of the preview.
struct ImportEntry {
    enum Status { New, InBook, Skipped };
    Status status = New;
    std::string name;
    std::string id;
    // Why a row is skipped, or which row it repeats.
    std::string reason;
};

struct ImportPreview {
    std::vector<ImportEntry> entries;
    size_t added = 0;
    size_t inBook = 0;
    size_t skipped = 0;
};

// The rows with the ID from the chosen field, against the IDs the book has: new, already in
// the book (same ID, also an ID that an earlier row of the file brings), or skipped with the
// reason (no ID, not digits, longer than maxIdLength).
ImportPreview Preview(const ImportSource& source, size_t field,
                      const std::vector<std::string>& bookIds, size_t maxIdLength);

// "43 new · 5 already in your book (same ID) · 2 without a usable ID (skipped)"
std::string PreviewCounts(const ImportPreview& preview);

// Our CSV of the rows: a header "name,id", UTF-8, CR LF, fields quoted where they must be.
// Names from the files are shown as the window shows them (Windows-1252 where not UTF-8).
std::string ExportCsv(const std::vector<std::string>& names, const std::vector<std::string>& ids);

} // namespace core
