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
    // The profile's group is what it was filed under: a tag.
    source.tags.push_back(rows.Text(keys["group"]));
    return source;
}

} // namespace core
