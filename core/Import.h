#pragma once

#include "core/Book.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

class ClientNotes;

// The files a book can be brought in from, told apart by their content.
enum class ImportFormat {
    Csv,            // ours or a spreadsheet's: a name and an ID a row
    RemoteProfile,  // a key file of one connection, group [remmina]
    ConnectionsXml, // a connection manager's confCons.xml
    ConnectionsCsv, // the same manager's ';'-separated export
};

// A piece of an ImportSource's text.
struct TextSpan {
    uint32_t at = 0;
    uint32_t size = 0;
};

// Why a row can never be taken, whatever field its ID is taken from.
enum class Unusable : uint8_t { No, NotVnc, NoRepeater, NotRepeaterId };

// What a file holds, before any choice of the user's: for each connection its name and the
// values an ID may be taken from (one per ID field), kept as pieces of one text, so that a
// file of a hundred thousand rows costs little more than its own size.
struct ImportSource {
    ImportFormat format = ImportFormat::Csv;
    // The fields an ID may come from; the user picks one when there are several.
    std::vector<std::string> idFields;
    size_t defaultField = 0;
    std::string text;
    std::vector<TextSpan> names;
    // idFields.size() a row.
    std::vector<TextSpan> values;
    std::vector<Unusable> unusable;
    // Where the file does not say which column holds the name (a CSV whose header names no
    // "name" column), the user picks it among the same fields: each row's fields read as names,
    // idFields.size() a row; names holds those of the default field.
    bool nameChoice = false;
    size_t defaultNameField = 0;
    std::vector<TextSpan> nameValues;

    // Each row's note and tags (separated by commas) where the file has them: one a row, or
    // none at all for a file without.
    std::vector<TextSpan> notes;
    std::vector<TextSpan> tags;

    size_t Rows() const { return names.size(); }
    std::string_view Note(size_t row) const {
        return row < notes.size() ? Piece(notes[row]) : std::string_view();
    }
    std::string_view Tags(size_t row) const {
        return row < tags.size() ? Piece(tags[row]) : std::string_view();
    }
    std::string_view Name(size_t row) const { return Piece(names[row]); }
    // The row's name from a field, where the user picks it; its one name otherwise.
    std::string_view NameIn(size_t row, size_t field) const {
        return nameChoice && field < idFields.size()
                   ? Piece(nameValues[row * idFields.size() + field])
                   : Name(row);
    }
    std::string_view Value(size_t row, size_t field) const {
        return Piece(values[row * idFields.size() + field]);
    }
    std::string_view Piece(TextSpan span) const {
        return std::string_view(text).substr(span.at, span.size);
    }
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

// The preview: each row new, already in the book, or skipped, with the reason.
struct ImportPreview {
    enum Status : uint8_t { New, InBook, Skipped };
    enum Reason : uint8_t {
        None,
        NotVnc,
        NoRepeater,
        NotRepeaterId,
        NoId,
        NotDigits,
        TooLong,
        NoName,
        IdInBook,
        IdAbove,
        // New, but the book has a client of that name under another ID: starts unticked.
        SameNameOtherId,
    };
    struct Entry {
        Status status = New;
        Reason reason = None;
        // The book's client an IdInBook or SameNameOtherId row meets.
        uint32_t other = 0;
    };

    const ImportSource* source = nullptr;
    // The book the rows were compared with (names and IDs side by side); it must outlive the
    // preview.
    const Book* book = nullptr;
    size_t field = 0;
    size_t nameField = 0;
    size_t maxIdLength = 0;
    std::vector<Entry> entries;
    size_t added = 0;
    size_t inBook = 0;
    size_t skipped = 0;

    std::string_view Name(size_t row) const { return source->NameIn(row, nameField); }
    // The repeater ID, or the value as it stands when it is none.
    std::string_view Id(size_t row) const;
    // Why a row is skipped or already in the book, or what a new one has in common with the
    // book; empty for a plain new one.
    std::string ReasonText(size_t row) const;

private:
    // The book's client a row meets: its name, and its ID.
    std::string BookClient(size_t row, bool withId) const;
};

// The rows with the ID from the chosen field (and the name from the chosen one, where the file
// leaves it open), against the book: new, already in the book (same ID, also an ID that an
// earlier row of the file brings), or skipped with the reason (no ID, not digits, longer than
// maxIdLength, no name); a new row whose name the book has under another ID says so. The
// preview refers to the source and the book, which must outlive it.
ImportPreview Preview(const ImportSource& source, size_t field, const Book& book,
                      size_t maxIdLength, size_t nameField);
// The same with the source's default name field.
ImportPreview Preview(const ImportSource& source, size_t field, const Book& book,
                      size_t maxIdLength);

// "43 new · 5 already in your book (same ID) · 2 without a usable ID (skipped)"
std::string PreviewCounts(const ImportPreview& preview);

// Our CSV of the rows: a header "name,id", UTF-8, CR LF, fields quoted where they must be.
// Names from the files are shown as the window shows them (Windows-1252 where not UTF-8).
// Where any client has tags or a note (notes given), two more columns: "tags" (separated by
// commas) and "note"; a book without them keeps the two.
std::string ExportCsv(const Book& book, const ClientNotes* notes = nullptr);
// One cell of an exported CSV: quoted where it must be, without control characters, and kept
// from running as a spreadsheet's formula.
std::string CsvCell(std::string_view text);
// That CSV written to the file in one step (never half written); throws Exception "Cannot write
// <file>".
void WriteExportCsv(const std::string& file, const Book& book, const ClientNotes* notes = nullptr);

} // namespace core
