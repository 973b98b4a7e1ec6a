#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace core {
namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

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

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || i + length > bytes.size() || (length == 2 && c < 0xC2)) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The file's text as UTF-8: as it is when it is UTF-8, otherwise read as Windows-1252.
std::string Utf8Text(std::string_view bytes) {
    bytes = WithoutBom(bytes);
    return IsValidUtf8(bytes) ? std::string(bytes) : DisplayUtf8(bytes);
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

// A name as a typed one is kept: no control characters, no blanks around it.
std::string CleanName(std::string_view name) {
    return Trimmed(WithoutControlCharacters(name));
}

// RFC 4180 records: fields in double quotes may hold the separator, quotes (doubled) and line
// breaks. A quote left open names the line it opened on.
std::vector<std::vector<std::string>> CsvRecords(std::string_view text, char separator) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    bool wasQuoted = false;
    size_t line = 1;
    size_t quoteLine = 0;
    const auto endField = [&] {
        record.push_back(wasQuoted ? field : Trimmed(field));
        field.clear();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        if (!(record.size() == 1 && record[0].empty())) {
            records.push_back(std::move(record));
        }
        record.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                line += c == '\n';
                field += c;
            }
        } else if (c == '"' && Trimmed(field).empty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
            field.clear();
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
            field += c;
        }
    }
    if (quoted) {
        throw Exception("Line " + std::to_string(quoteLine) +
                        " opens a quote that is never closed");
    }
    endRecord();
    return records;
}

// The separator of the first line: the one of ',' and ';' that stands outside quotes more often.
char CsvSeparator(std::string_view text) {
    size_t commas = 0;
    size_t semicolons = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            break;
        } else if (!quoted) {
            commas += c == ',';
            semicolons += c == ';';
        }
    }
    return semicolons > commas ? ';' : ',';
}

std::optional<size_t> Column(const std::vector<std::string>& header, std::string_view name) {
    for (size_t i = 0; i < header.size(); ++i) {
        if (Lower(Trimmed(header[i])) == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::string Field(const std::vector<std::string>& record, std::optional<size_t> column) {
    return column && *column < record.size() ? record[*column] : std::string();
}

// The repeater ID a value holds: all digits, or "ID:" and digits.
std::optional<std::string> RepeaterId(std::string_view value) {
    std::string text = Trimmed(value);
    if (Lower(text.substr(0, 3)) == "id:") {
        text = Trimmed(text.substr(3));
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

// The field whose values first give an ID, for sources with several.
size_t FirstFieldWithIds(const ImportSource& source) {
    for (size_t field = 0; field < source.idFields.size(); ++field) {
        for (const SourceRow& row : source.rows) {
            if (field < row.values.size() && RepeaterId(row.values[field])) {
                return field;
            }
        }
    }
    return 0;
}

// ---- A small XML reader: start tags and their attributes, end tags; nothing is expanded but
// the five predefined entities and character references, and a document type is refused. ----

struct XmlTag {
    std::string name; // local name, without a namespace prefix
    std::map<std::string, std::string> attributes;
    bool closing = false;
    bool empty = false;
};

void AppendUtf8(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        throw Exception("The XML file holds a character reference that is no character");
    }
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string XmlUnescaped(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const size_t end = text.find(';', i);
        if (end == std::string_view::npos || end - i > 12) {
            throw Exception("The XML file holds an '&' that starts no reference");
        }
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        static const std::map<std::string_view, char> named{
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (const auto found = named.find(entity); found != named.end()) {
            out += found->second;
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string digits(entity.substr(hex ? 2 : 1));
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                throw Exception("The XML file holds a character reference that is no number");
            }
            AppendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
        } else {
            throw Exception("The XML file uses an entity it would have to declare: refused");
        }
        i = end + 1;
    }
    return out;
}

std::string LocalName(std::string_view name) {
    const size_t colon = name.rfind(':');
    return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

class XmlReader {
public:
    explicit XmlReader(std::string_view text) : text_(text) {}

    // The next tag, or nothing at the end of the document.
    std::optional<XmlTag> Next() {
        while (true) {
            const size_t open = text_.find('<', at_);
            if (open == std::string_view::npos) {
                return std::nullopt;
            }
            at_ = open;
            const std::string_view rest = text_.substr(at_);
            if (rest.substr(0, 4) == "<!--") {
                Skip("-->", "a comment");
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                Skip("]]>", "a CDATA section");
            } else if (rest.substr(0, 2) == "<?") {
                Skip("?>", "a processing instruction");
            } else if (rest.substr(0, 2) == "<!") {
                // A document type may declare entities that expand without end.
                throw Exception("The XML file has a document type or entity declarations: "
                                "refused, never expanded");
            } else {
                return Tag();
            }
        }
    }

private:
    void Skip(std::string_view end, const char* what) {
        const size_t found = text_.find(end, at_);
        if (found == std::string_view::npos) {
            throw Exception(std::string("The XML file ends inside ") + what);
        }
        at_ = found + end.size();
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool IsNameChar(char c) {
        return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'';
    }

    XmlTag Tag() {
        XmlTag tag;
        ++at_;
        if (at_ < text_.size() && text_[at_] == '/') {
            tag.closing = true;
            ++at_;
        }
        tag.name = LocalName(Name());
        if (tag.name.empty()) {
            throw Exception("The XML file is not well-formed: a tag without a name");
        }
        while (true) {
            SkipSpace();
            if (at_ >= text_.size()) {
                throw Exception("The XML file ends inside a tag");
            }
            if (text_[at_] == '>') {
                ++at_;
                return tag;
            }
            if (text_.substr(at_, 2) == "/>") {
                at_ += 2;
                tag.empty = true;
                return tag;
            }
            const std::string name = Name();
            SkipSpace();
            if (name.empty() || at_ >= text_.size() || text_[at_] != '=') {
                throw Exception("The XML file is not well-formed: an attribute without a value");
            }
            ++at_;
            SkipSpace();
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
                throw Exception("The XML file is not well-formed: a value without quotes");
            }
            const char quote = text_[at_++];
            const size_t end = text_.find(quote, at_);
            if (end == std::string_view::npos) {
                throw Exception("The XML file ends inside an attribute's value");
            }
            tag.attributes[LocalName(name)] = XmlUnescaped(text_.substr(at_, end - at_));
            at_ = end + 1;
        }
    }

    std::string Name() {
        const size_t start = at_;
        while (at_ < text_.size() && IsNameChar(text_[at_])) {
            ++at_;
        }
        return std::string(text_.substr(start, at_ - start));
    }

    void SkipSpace() {
        while (at_ < text_.size() && IsSpace(text_[at_])) {
            ++at_;
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

// The fields of a connection an ID may be kept in, in the order they are tried.
const std::vector<std::string> XmlIdFields{"Hostname", "Descr", "UserField", "VNCProxyIP",
                                           "VNCProxyUsername"};

std::string JoinedPath(const std::vector<std::string>& containers, const std::string& name) {
    std::string path;
    for (const std::string& container : containers) {
        path += container + " / ";
    }
    return path + name;
}

bool NeedsQuotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

std::string CsvField(std::string_view field) {
    if (!NeedsQuotes(field)) {
        return std::string(field);
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
    RefuseBinary(bytes);
    const std::string text = Utf8Text(bytes);
    const std::vector<std::vector<std::string>> records = CsvRecords(text, CsvSeparator(text));
    ImportSource source;
    source.format = ImportFormat::Csv;
    source.idFields = {"id"};
    if (records.empty()) {
        return source;
    }
    std::optional<size_t> nameColumn = Column(records[0], "name");
    std::optional<size_t> idColumn = Column(records[0], "id");
    size_t first = 1;
    if (!nameColumn || !idColumn) {
        // No header naming the columns: the first is the name, the second the ID.
        nameColumn = 0;
        idColumn = 1;
        first = 0;
    }
    for (size_t i = first; i < records.size(); ++i) {
        source.rows.push_back(
            {CleanName(Field(records[i], nameColumn)), {Trimmed(Field(records[i], idColumn))}, {}});
    }
    return source;
}

ImportSource ReadRemoteProfile(std::string_view bytes) {
    RefuseBinary(bytes);
    const std::string text = Utf8Text(bytes);
    std::map<std::string, std::string> keys;
    bool inGroup = false;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = Trimmed(std::string_view(text).substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            inGroup = line == "[remmina]";
            continue;
        }
        const size_t equals = line.find('=');
        // Only the keys we take are kept: a password is never read.
        if (inGroup && equals != std::string::npos) {
            const std::string key = Trimmed(std::string_view(line).substr(0, equals));
            if (key == "name" || key == "group" || key == "protocol" || key == "server" ||
                key == "proxy") {
                keys[key] = Trimmed(std::string_view(line).substr(equals + 1));
            }
        }
    }
    ImportSource source;
    source.format = ImportFormat::RemoteProfile;
    source.idFields = {"server"};
    if (keys.empty()) {
        return source;
    }
    SourceRow row;
    row.name =
        CleanName(keys["group"].empty() ? keys["name"] : keys["group"] + " / " + keys["name"]);
    const std::string& server = keys["server"];
    row.values = {server};
    if (keys["protocol"] != "VNC") {
        row.unusable = "not a VNC connection";
    } else if (keys["proxy"].empty()) {
        row.unusable = "connects without a repeater";
    } else if (Lower(server.substr(0, 3)) != "id:") {
        row.unusable = "its server is not a repeater ID";
    }
    source.rows.push_back(std::move(row));
    return source;
}

ImportSource ReadConnectionsXml(std::string_view bytes) {
    RefuseBinary(bytes);
    const std::string text = Utf8Text(bytes);
    XmlReader reader(text);
    ImportSource source;
    source.format = ImportFormat::ConnectionsXml;
    source.idFields = XmlIdFields;
    // The names of the containers the reader is inside; a connection is an empty element or
    // one closed later, a container opens a level.
    std::vector<std::string> containers;
    std::vector<bool> openIsContainer;
    bool sawRoot = false;
    while (const std::optional<XmlTag> tag = reader.Next()) {
        if (tag->name == "Connections" && !tag->closing) {
            sawRoot = true;
            const auto encrypted = tag->attributes.find("FullFileEncryption");
            if (encrypted != tag->attributes.end() && Lower(encrypted->second) == "true") {
                throw Exception("This connections file is encrypted: export it again without "
                                "encryption, then import that file");
            }
            continue;
        }
        if (tag->name != "Node") {
            continue;
        }
        if (tag->closing) {
            if (!openIsContainer.empty()) {
                if (openIsContainer.back() && !containers.empty()) {
                    containers.pop_back();
                }
                openIsContainer.pop_back();
            }
            continue;
        }
        const auto attribute = [&](const std::string& name) {
            const auto found = tag->attributes.find(name);
            return found == tag->attributes.end() ? std::string() : found->second;
        };
        const std::string type = attribute("Type");
        if (type == "Connection") {
            SourceRow row;
            row.name = CleanName(JoinedPath(containers, attribute("Name")));
            for (const std::string& field : XmlIdFields) {
                row.values.push_back(attribute(field));
            }
            source.rows.push_back(std::move(row));
        }
        if (!tag->empty) {
            const bool container = type != "Connection";
            if (container) {
                containers.push_back(Trimmed(attribute("Name")));
            }
            openIsContainer.push_back(container);
        }
    }
    if (!sawRoot) {
        throw Exception("This XML file is not a connections file (no <Connections> element)");
    }
    source.defaultField = FirstFieldWithIds(source);
    return source;
}

ImportSource ReadConnectionsCsv(std::string_view bytes) {
    RefuseBinary(bytes);
    const std::string text = Utf8Text(bytes);
    ImportSource source;
    source.format = ImportFormat::ConnectionsCsv;
    source.idFields = {"Hostname", "Description"};
    // No quoting: one record a line, ';' between fields. Only the first columns are read by
    // their header's names; the later ones are shifted in such files.
    std::vector<std::vector<std::string>> records;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = std::string_view(text).substr(at, end - at);
        at = end + 1;
        if (Trimmed(line).empty()) {
            continue;
        }
        std::vector<std::string> record;
        size_t from = 0;
        while (true) {
            const size_t semicolon = line.find(';', from);
            record.push_back(Trimmed(line.substr(from, semicolon - from)));
            if (semicolon == std::string_view::npos) {
                break;
            }
            from = semicolon + 1;
        }
        records.push_back(std::move(record));
    }
    if (records.empty()) {
        return source;
    }
    const std::optional<size_t> name = Column(records[0], "name");
    const std::optional<size_t> host = Column(records[0], "hostname");
    const std::optional<size_t> description = Column(records[0], "description");
    if (!name || !host) {
        throw Exception("The first line of this file does not name the columns Name and Hostname");
    }
    for (size_t i = 1; i < records.size(); ++i) {
        source.rows.push_back({CleanName(Field(records[i], name)),
                               {Field(records[i], host), Field(records[i], description)},
                               {}});
    }
    source.defaultField = FirstFieldWithIds(source);
    return source;
}

ImportSource ReadImport(std::string_view bytes, std::string_view fileName) {
    if (bytes.size() > MaxImportBytes) {
        throw Exception("This file is larger than any list of clients (" +
                        std::to_string(bytes.size() / (1024 * 1024)) + " MB)");
    }
    RefuseBinary(bytes);
    const std::string_view text = WithoutBom(bytes);
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start != std::string_view::npos && text[start] == '<') {
        return ReadConnectionsXml(bytes);
    }
    const std::string_view head = text.substr(0, 4096);
    const std::string lowerName = Lower(fileName);
    if (head.find("[remmina]") != std::string_view::npos ||
        (lowerName.size() > 8 && lowerName.ends_with(".remmina"))) {
        return ReadRemoteProfile(bytes);
    }
    // The manager's export: a header of ';'-separated names that starts with Name and holds
    // Hostname and Protocol.
    const std::string firstLine = Lower(head.substr(0, head.find_first_of("\r\n")));
    if (firstLine.starts_with("name;") && firstLine.find(";hostname;") != std::string::npos &&
        firstLine.find(";protocol;") != std::string::npos) {
        return ReadConnectionsCsv(bytes);
    }
    return ReadCsv(bytes);
}

void Append(ImportSource& to, ImportSource&& more) {
    if (to.rows.empty() && to.idFields.empty()) {
        to = std::move(more);
        return;
    }
    for (SourceRow& row : more.rows) {
        to.rows.push_back(std::move(row));
    }
}

ImportPreview Preview(const ImportSource& source, size_t field,
                      const std::vector<std::string>& bookIds, size_t maxIdLength) {
    ImportPreview preview;
    const std::set<std::string, std::less<>> inBook(bookIds.begin(), bookIds.end());
    std::set<std::string, std::less<>> known = inBook;
    for (const SourceRow& row : source.rows) {
        ImportEntry entry;
        entry.name = row.name;
        const std::string value = field < row.values.size() ? Trimmed(row.values[field]) : "";
        const std::optional<std::string> id = RepeaterId(value);
        entry.id = id ? *id : value;
        if (!row.unusable.empty()) {
            entry.status = ImportEntry::Skipped;
            entry.reason = row.unusable;
        } else if (value.empty()) {
            entry.status = ImportEntry::Skipped;
            entry.reason = "no ID";
        } else if (!id) {
            entry.status = ImportEntry::Skipped;
            entry.reason = "the ID holds more than digits";
        } else if (id->size() > maxIdLength) {
            entry.status = ImportEntry::Skipped;
            entry.reason = "the ID is longer than " + std::to_string(maxIdLength) + " digits";
        } else if (entry.name.empty()) {
            entry.status = ImportEntry::Skipped;
            entry.reason = "no name";
        } else if (!known.insert(*id).second) {
            entry.status = ImportEntry::InBook;
            entry.reason =
                inBook.contains(*id) ? "the ID is in your book" : "the same ID as a row above";
        }
        switch (entry.status) {
        case ImportEntry::New:
            ++preview.added;
            break;
        case ImportEntry::InBook:
            ++preview.inBook;
            break;
        case ImportEntry::Skipped:
            ++preview.skipped;
            break;
        }
        preview.entries.push_back(std::move(entry));
    }
    return preview;
}

std::string PreviewCounts(const ImportPreview& preview) {
    return std::to_string(preview.added) + " new \xC2\xB7 " + std::to_string(preview.inBook) +
           " already in your book (same ID) \xC2\xB7 " + std::to_string(preview.skipped) +
           " without a usable ID (skipped)";
}

std::string ExportCsv(const std::vector<std::string>& names, const std::vector<std::string>& ids) {
    std::string out = "name,id\r\n";
    const size_t rows = std::min(names.size(), ids.size());
    for (size_t i = 0; i < rows; ++i) {
        out += CsvField(DisplayUtf8(names[i])) + ',' + CsvField(DisplayUtf8(ids[i])) + "\r\n";
    }
    return out;
}

} // namespace core
