#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/import/ImportText.h"
#include "core/import/XmlReader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace core {

using namespace importing;

namespace {

// The fields of a connection an ID may be kept in, in the order they are tried.
const std::vector<std::string> XmlIdFields{"Hostname", "Descr", "UserField", "VNCProxyIP",
                                           "VNCProxyUsername"};

} // namespace

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
            // The connection's description is what the technician wrote about it.
            source.notes.push_back(rows.Text(attribute("Descr")));
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

} // namespace core
