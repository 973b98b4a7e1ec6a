#include "core/LaunchLine.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "platform/BatchLine.h"
#include "platform/Files.h"

namespace core {

std::string LaunchLine(const LaunchInputs& in) {
    platform::BatchLineWriter line;
    line.Append(in.quote)
        .Append(in.folder)
        .Append(ViewerPath)
        .Append(in.quote)
        .Append(" -proxy ")
        .Append(in.host)
        .Append(":")
        .Append(in.port)
        .Append(in.autoreconnect)
        .Append(in.connect)
        .Append(" ID:")
        .Append(in.id)
        .Append(" -quickoption ")
        .Append(in.quality)
        .Append(in.autoscaling)
        .Append(" -keepalive 1 -dsmplugin SecureVNCPlugin.dsm")
        .Append(in.passwordSwitch)
        .Append(in.password);
    return line.Line();
}

void CheckLaunchInputs(const LaunchInputs& in) {
    const struct {
        const char* name;
        const std::string& text;
    } fields[] = {{"client ID", in.id},
                  {"repeater address", in.host},
                  {"viewer port", in.port},
                  {"quality", in.quality},
                  {"password", in.password}};
    for (const auto& field : fields) {
        if (HasControlCharacter(field.text)) {
            throw Exception("Cannot connect: the " + std::string(field.name) +
                            " holds a control character");
        }
    }
    // The viewer's path stands in quotes, which a quote in it would end; on Linux the line's
    // backslashes become separators, so one in a folder name would name another path.
    const bool backslashSeparates = platform::PathSeparator() != '\\';
    if (HasControlCharacter(in.folder) || in.folder.find('"') != std::string::npos ||
        (backslashSeparates && in.folder.find('\\') != std::string::npos)) {
        throw Exception("Cannot connect: the program folder " + in.folder +
                        " holds a character that the viewer's command line cannot carry");
    }
}

} // namespace core
