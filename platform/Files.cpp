#include "platform/Files.h"

#include <mutex>

namespace platform {
namespace {

std::mutex overrideMutex;
std::optional<std::string> executableOverride;

} // namespace

std::string ExecutablePath() {
    {
        std::lock_guard lock(overrideMutex);
        if (executableOverride) {
            return *executableOverride;
        }
    }
    return ModuleFileName();
}

std::string ProgramFolder() {
    const std::string exe = ExecutablePath();
    const size_t separator = exe.find_last_of(std::string("/") + PathSeparator());
    return separator == std::string::npos ? std::string(".") + PathSeparator()
                                          : exe.substr(0, separator + 1);
}

void SetExecutablePathForTesting(std::string path) {
    std::lock_guard lock(overrideMutex);
    executableOverride = std::move(path);
}

} // namespace platform
