#include "core/Import.h"

#include "base/Exception.h"
#include "core/import/ImportText.h"

#include <string>
#include <utility>

// Which reader a file goes to, and the rows of several files as one source. The readers, one
// file per format, and the preview rules are in core/import/.
namespace core {

using namespace importing;

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
    // Notes and tags stay one a row: rows of a file without them get empty ones.
    for (auto part : {&ImportSource::notes, &ImportSource::tags}) {
        if ((to.*part).empty() && (more.*part).empty()) {
            continue;
        }
        (to.*part).resize(to.names.size() - more.names.size(), TextSpan{});
        for (TextSpan span : more.*part) {
            span.at += shift;
            (to.*part).push_back(span);
        }
        (to.*part).resize(to.names.size(), TextSpan{});
    }
}

} // namespace core
