#include "core/NativeViewer.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "platform/ViewerProcess.h"

#include <algorithm>
#include <cstdlib>

namespace core {
namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HoldsBlank(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == ' ' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// "2026/12/10 07:27:11 " before a line, as the viewer stamps some of them.
std::string WithoutTimeStamp(const std::string& line) {
    static const std::string pattern = "dddd/dd/dd dd:dd:dd ";
    if (line.size() < pattern.size()) {
        return line;
    }
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = line[i];
        if (pattern[i] == 'd' ? (c < '0' || c > '9') : c != pattern[i]) {
            return line;
        }
    }
    return line.substr(pattern.size());
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> QualityArguments(const std::string& quality) {
    // The Windows viewer's presets: 2 a local network, 3 a medium line, 4 a modem, 5 a slow
    // line, 7 its fastest full-colour mode; 1 lets the viewer choose.
    const std::string encodings = "-encodings";
    if (quality == "2") {
        return {encodings, "copyrect hextile zrle", "-compresslevel", "1", "-nojpeg"};
    }
    if (quality == "3") {
        return {encodings, "copyrect tight zrle", "-quality", "6", "-compresslevel", "6",
                "-bgr233"};
    }
    if (quality == "4") {
        return {encodings, "copyrect tight zrle", "-quality", "3", "-compresslevel", "9", "-bgr233",
                "-use64"};
    }
    if (quality == "5") {
        return {encodings, "copyrect tight zrle", "-quality", "0", "-compresslevel", "9", "-bgr233",
                "-use8"};
    }
    if (quality == "7") {
        return {encodings, "copyrect zrle tight", "-quality", "9", "-compresslevel", "1"};
    }
    return {};
}

NativeLaunch NativeViewerLaunch(const LaunchInputs& inputs) {
    if (inputs.host.empty()) {
        throw Exception("Cannot connect: type the repeater's address on the Settings page");
    }
    if (HoldsBlank(inputs.host) || StartsWith(inputs.host, "-")) {
        throw Exception("Cannot connect: the repeater address \"" + DisplayUtf8(inputs.host, 100) +
                        "\" is not an address");
    }
    if (inputs.port.empty()) {
        throw Exception("Cannot connect: type the repeater's port on the Settings page");
    }
    if (!AllDigits(inputs.port) || inputs.port.size() > 5 ||
        std::strtol(inputs.port.c_str(), nullptr, 10) > 65535 ||
        std::strtol(inputs.port.c_str(), nullptr, 10) == 0) {
        throw Exception("Cannot connect: the port " + DisplayUtf8(inputs.port, 20) +
                        " is not one from 1 to 65535");
    }
    NativeLaunch launch;
    launch.repeater = inputs.host + ":" + inputs.port;
    // -notty: the viewer has no terminal; it asks in a window of its own for a password it is
    // not given.
    launch.arguments = {"-notty", "-repeater", "ID:" + inputs.id};
    for (std::string& argument : QualityArguments(inputs.quality)) {
        launch.arguments.push_back(std::move(argument));
    }
    if (!inputs.autoscaling.empty()) {
        launch.arguments.insert(launch.arguments.end(), {"-scale", "auto"});
    }
    if (!inputs.passwordSwitch.empty()) {
        launch.arguments.push_back("-autopass");
        launch.input = inputs.password + "\n";
    }
    // Two colons: always a port, never a display number (":1" would mean 5901).
    launch.arguments.push_back(inputs.host + "::" + inputs.port);
    return launch;
}

ViewerNews NewsIn(const std::string& line) {
    if (StartsWith(line, "Connected to RFB server")) {
        return ViewerNews::ServerReached;
    }
    if (StartsWith(line, "Desktop name ")) {
        return ViewerNews::DesktopShown;
    }
    if (line.find("VNC server closed connection") != std::string::npos) {
        return ViewerNews::ServerClosed;
    }
    return ViewerNews::None;
}

std::string LastWords(const std::deque<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::string line = Trimmed(WithoutTimeStamp(WithoutControlCharacters(*it)));
        if (line.empty() || line == "VNC Viewer exiting.") {
            continue;
        }
        return DisplayUtf8(line, 300);
    }
    return {};
}

ViewerEnd JudgeEnd(bool exitedNormally, int exitCode, bool shown, bool serverClosed) {
    if (!shown) {
        return exitedNormally && exitCode == 0 && !serverClosed ? ViewerEnd::Closed
                                                                : ViewerEnd::Failed;
    }
    return exitedNormally && exitCode == 0 && !serverClosed ? ViewerEnd::Closed : ViewerEnd::Lost;
}

std::string NoViewerMessage(const std::string& binFolder) {
    return std::string("No VNC viewer was found: put vncviewer.exe in ") + binFolder +
           ", or install the package " + SystemViewerPackage + " for the system's VNC viewer";
}

bool SystemViewersExist() {
    return platform::HasSystemViewers();
}

std::unique_ptr<ViewerProcess> StartNativeViewer(const NativeLaunch& launch,
                                                 const std::string& binFolder) {
    const std::string program = platform::FindTrustedProgram(SystemViewerName);
    if (program.empty()) {
        throw Exception(NoViewerMessage(binFolder));
    }
    std::vector<std::string> arguments = {program};
    arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
    return platform::ChildProcess::Start(program, arguments, {"SSVNC_NO_MESSAGE_POPUP=1"},
                                         launch.input);
}

} // namespace core
