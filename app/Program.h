#pragma once

#include <functional>

class QWidget;

// The program from start to exit: the application and its title, the main window made from its
// layout and loaded, shown, and the event loop until the window closes. shown, when given, is
// called with the window right after it is shown (the start-up benchmark watches for its first
// paint there). installedCopy: the copy the package installs, which keeps its files in the
// user's data folder wherever it is.
int RunProgram(int argc, char* argv[], const std::function<void(QWidget&)>& shown = {},
               bool installedCopy = false);
