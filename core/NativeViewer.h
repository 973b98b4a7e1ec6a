#pragma once

#include "core/LaunchLine.h"
#include "platform/ViewerProcess.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace core {

// A viewer's process, as the window watches it, and how it ended.
using ViewerProcess = platform::ChildProcess;
using ViewerProcessEnd = platform::ProcessEnd;

// The system's VNC viewer on Linux, and the package that brings it.
inline constexpr const char* SystemViewerName = "ssvncviewer";
inline constexpr const char* SystemViewerPackage = "ssvnc";

// What the system's viewer is started with for a launch: its arguments, never the password,
// and what its standard input gets, the password and a line end when one is stored.
struct NativeLaunch {
    std::vector<std::string> arguments;
    std::string input;
    // Where the viewer is asked to go, for the window's messages: "127.0.0.1:5901".
    std::string repeater;
};

// The same inputs the launch line is made of, as the system's viewer takes them: the repeater
// (host and port as the line has them), the ID, the quality preset, auto-scaling and the
// password. Refuses, with an error naming the field, a host or port the viewer could not take
// as one: empty, a blank in it, or a host the viewer would read as one of its options.
NativeLaunch NativeViewerLaunch(const LaunchInputs& inputs);

// The viewer's own options for a quality preset of the Windows viewer; none for a value that
// is not one of its presets, so the viewer chooses by the line's speed, as preset 1 does.
std::vector<std::string> QualityArguments(const std::string& quality);

// What one line of the viewer's output tells about the session.
enum class ViewerNews {
    None,
    ServerReached, // the repeater joined the viewer to the client's server
    DesktopShown,  // past the password: the desktop is on its way to the screen
    ServerClosed,  // the client's side ended the connection
};
ViewerNews NewsIn(const std::string& line);

// The viewer's last line that says something, as the window may show it: without its time
// stamp, control characters and invisible characters, at most 300 characters. The closing line
// the viewer prints at every end says nothing.
std::string LastWords(const std::deque<std::string>& lines);

// How a session ended.
enum class ViewerEnd {
    Closed, // by the technician
    Lost,   // the connection dropped after the desktop was shown
    Failed, // before it was shown: refused, unreachable, or the viewer could not run
};
ViewerEnd JudgeEnd(bool exitedNormally, int exitCode, bool shown, bool serverClosed);

// The error when no viewer can be started: the folder a Windows viewer goes in and the package
// that brings the system's.
std::string NoViewerMessage(const std::string& binFolder);

// Whether this system offers a viewer of its own beside the one in Bin (Windows does not).
bool SystemViewersExist();

// Starts the system's viewer for this launch, the password on its standard input; its messages
// come to its output, never into boxes of its own the technician would have to close. An
// error naming the folder and the package when it is not installed, or naming why it could not
// start.
std::unique_ptr<ViewerProcess> StartNativeViewer(const NativeLaunch& launch,
                                                 const std::string& binFolder);

} // namespace core
