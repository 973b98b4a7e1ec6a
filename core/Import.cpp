#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
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

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

uint64_t Hash(std::string_view text) {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
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

ImportSource ReadRemoteProfile(std::string_view bytes) {
    std::string converted;
    const std::string_view text = FileText(bytes, converted);
    std::map<std::string, std::string> keys;
    bool inGroup = false;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = TrimmedView(text.substr(at, end - at));
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
        if (inGroup && equals != std::string_view::npos) {
            const std::string key = Trimmed(line.substr(0, equals));
            if (key == "name" || key == "group" || key == "protocol" || key == "server" ||
                key == "proxy") {
                keys[key] = Trimmed(line.substr(equals + 1));
            }
        }
    }
    ImportSource source;
    source.format = ImportFormat::RemoteProfile;
    source.idFields = {"server"};
    if (keys.empty()) {
        return source;
    }
    RowWriter rows(source);
    const std::string& server = keys["server"];
    Unusable unusable = Unusable::No;
    if (keys["protocol"] != "VNC") {
        unusable = Unusable::NotVnc;
    } else if (keys["proxy"].empty()) {
        unusable = Unusable::NoRepeater;
    } else if (!StartsWithId(server)) {
        unusable = Unusable::NotRepeaterId;
    }
    const TextSpan name =
        rows.Name(keys["group"].empty() ? keys["name"] : keys["group"] + " / " + keys["name"]);
    rows.Row(name, {rows.Value(server)}, unusable);
    return source;
}

ImportSource ReadConnectionsXml(std::string_view bytes) {
    std::string converted;
    XmlReader reader(FileText(bytes, converted));
    ImportSource source;
    source.format = ImportFormat::ConnectionsXml;
    source.idFields = XmlIdFields;
    RowWriter rows(source);
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
            const TextSpan name = rows.Name(JoinedPath(containers, attribute("Name")));
            for (const std::string& field : XmlIdFields) {
                source.values.push_back(rows.Value(attribute(field)));
            }
            source.names.push_back(name);
            source.unusable.push_back(Unusable::No);
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
            if (!name || !host) {
                throw Exception(
                    "The first line of this file does not name the columns Name and Hostname");
            }
            continue;
        }
        const TextSpan rowName = rows.Name(Field(record, name));
        const TextSpan hostValue = rows.Value(Field(record, host));
        rows.Row(rowName, {hostValue, rows.Value(Field(record, description))});
    }
    source.defaultField = FirstFieldWithIds(source);
    return source;
}

ImportSource ReadImport(std::string_view bytes, std::string_view fileName) {
    if (bytes.size() > MaxImportBytes) {
        throw Exception("This file is larger than any list of clients (" +
                        std::to_string(bytes.size() / (1024 * 1024)) + " MB)");
    }
    // Each reader refuses a binary file itself.
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
    if (to.names.empty() && to.idFields.empty()) {
        to = std::move(more);
        return;
    }
    const auto shift = static_cast<uint32_t>(to.text.size());
    to.text += more.text;
    for (TextSpan span : more.names) {
        span.at += shift;
        to.names.push_back(span);
    }
    for (TextSpan span : more.values) {
        span.at += shift;
        to.values.push_back(span);
    }
    to.unusable.insert(to.unusable.end(), more.unusable.begin(), more.unusable.end());
}

std::string_view ImportPreview::Id(size_t row) const {
    const std::string_view value = source->Value(row, field);
    const std::optional<std::string_view> id = RepeaterId(value);
    return id ? *id : TrimmedView(value);
}

std::string ImportPreview::ReasonText(size_t row) const {
    switch (entries[row].reason) {
    case None:
        return {};
    case NotVnc:
        return "not a VNC connection";
    case NoRepeater:
        return "connects without a repeater";
    case NotRepeaterId:
        return "its server is not a repeater ID";
    case NoId:
        return "no ID";
    case NotDigits:
        return "the ID holds more than digits";
    case TooLong:
        return "the ID is longer than " + std::to_string(maxIdLength) + " digits";
    case NoName:
        return "no name";
    case IdInBook:
        return "the ID is in your book";
    case IdAbove:
        return "the same ID as a row above";
    }
    return {};
}

ImportPreview Preview(const ImportSource& source, size_t field,
                      const std::vector<std::string>& bookIds, size_t maxIdLength) {
    ImportPreview preview;
    preview.source = &source;
    preview.field = field;
    preview.maxIdLength = maxIdLength;
    preview.entries.resize(source.Rows());
    // Rows that may be taken, by their ID's hash: equal IDs meet when sorted.
    std::vector<std::pair<uint64_t, uint32_t>> candidates;
    for (size_t row = 0; row < source.Rows(); ++row) {
        ImportPreview::Entry& entry = preview.entries[row];
        const std::string_view value =
            field < source.idFields.size() ? TrimmedView(source.Value(row, field)) : "";
        const std::optional<std::string_view> id = RepeaterId(value);
        static constexpr ImportPreview::Reason unusableReason[] = {
            ImportPreview::None, ImportPreview::NotVnc, ImportPreview::NoRepeater,
            ImportPreview::NotRepeaterId};
        if (source.unusable[row] != Unusable::No) {
            entry.reason = unusableReason[static_cast<size_t>(source.unusable[row])];
        } else if (value.empty()) {
            entry.reason = ImportPreview::NoId;
        } else if (!id) {
            entry.reason = ImportPreview::NotDigits;
        } else if (id->size() > maxIdLength) {
            entry.reason = ImportPreview::TooLong;
        } else if (source.Name(row).empty()) {
            entry.reason = ImportPreview::NoName;
        } else {
            candidates.emplace_back(Hash(*id), static_cast<uint32_t>(row));
            continue;
        }
        entry.status = ImportPreview::Skipped;
    }
    std::vector<std::pair<uint64_t, size_t>> book;
    book.reserve(bookIds.size());
    for (size_t i = 0; i < bookIds.size(); ++i) {
        book.emplace_back(Hash(bookIds[i]), i);
    }
    std::sort(book.begin(), book.end());
    std::sort(candidates.begin(), candidates.end());
    for (size_t first = 0; first < candidates.size();) {
        size_t end = first;
        while (end < candidates.size() && candidates[end].first == candidates[first].first) {
            ++end;
        }
        auto inBook = std::lower_bound(book.begin(), book.end(),
                                       std::pair<uint64_t, size_t>(candidates[first].first, 0));
        for (size_t i = first; i < end; ++i) {
            const uint32_t row = candidates[i].second;
            const std::string_view id = preview.Id(row);
            ImportPreview::Entry& entry = preview.entries[row];
            for (auto b = inBook; b != book.end() && b->first == candidates[i].first; ++b) {
                if (bookIds[b->second] == id) {
                    entry = {ImportPreview::InBook, ImportPreview::IdInBook};
                    break;
                }
            }
            // Rows of one hash are in the file's order: an earlier new one with the same ID
            // is the one taken.
            for (size_t k = first; k < i && entry.status == ImportPreview::New; ++k) {
                if (preview.entries[candidates[k].second].status == ImportPreview::New &&
                    preview.Id(candidates[k].second) == id) {
                    entry = {ImportPreview::InBook, ImportPreview::IdAbove};
                }
            }
        }
        first = end;
    }
    for (const ImportPreview::Entry& entry : preview.entries) {
        preview.added += entry.status == ImportPreview::New;
        preview.inBook += entry.status == ImportPreview::InBook;
        preview.skipped += entry.status == ImportPreview::Skipped;
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
        // As the window shows them, without the control characters no typed row holds: a
        // file that holds them would read as binary.
        out += CsvField(WithoutControlCharacters(DisplayUtf8(names[i]))) + ',' +
               CsvField(WithoutControlCharacters(DisplayUtf8(ids[i]))) + "\r\n";
    }
    return out;
}

} // namespace core
