#include "platform/ViewerProcess.h"

#include "base/Exception.h"

namespace platform {

// Windows has no VNC viewer of its own: the one in Bin is the only one, started through its
// batch file.
bool HasSystemViewers() {
    return false;
}

std::string FindTrustedProgram(const std::string&) {
    return {};
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>&,
                                                  const std::vector<std::string>&,
                                                  const std::string&) {
    throw Exception("Cannot start " + program + ": Windows has no system VNC viewer");
}

ChildProcess::~ChildProcess() = default;

std::string ChildProcess::ReadOutput(bool& ended) {
    ended = true;
    return {};
}

std::optional<ProcessEnd> ChildProcess::Ended() {
    return ProcessEnd{};
}

void ChildProcess::Stop(bool) {}

} // namespace platform
