#pragma once

#include <string>

namespace core {

// What a launch is made of: the window's fields and its switch texts as they stand at the
// click, each used as text exactly as held.
struct LaunchInputs {
    std::string folder; // the program folder, with its separator at the end
    std::string quote;  // the quote put around the viewer's path
    std::string host;
    std::string port;
    std::string autoreconnect; // " -autoreconnect" or empty
    std::string connect;       // " -connect" or empty
    std::string id;
    std::string quality;
    std::string autoscaling;    // " -autoscaling" or empty
    std::string passwordSwitch; // " -password " or empty
    std::string password;
};

// The viewer's path below the program folder, as the line names it.
inline constexpr const char* ViewerPath = "Bin\\vncviewer.exe";

// The viewer's command line as one line of the batch file: the pieces in their order with
// nothing between them, every piece escaped so that the command interpreter hands the viewer
// exactly this text and runs nothing else.
std::string LaunchLine(const LaunchInputs& inputs);

// Refuses, with an error naming the field, inputs that cannot reach the viewer as they are: a
// control character in the ID, host, port, quality or password (the interpreter would end the
// line there and run the rest as a command of its own), or a program folder whose path the
// line cannot carry.
void CheckLaunchInputs(const LaunchInputs& inputs);

} // namespace core
