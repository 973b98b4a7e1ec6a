#include "platform/StartHidden.h"

#include <windows.h>

namespace platform {

ViewerProblem ViewerStartProblem(const std::string& viewerPath) {
    const DWORD attributes = GetFileAttributesA(viewerPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? ViewerProblem::Missing
               : ViewerProblem::None;
}

void StartBatchFileHidden(const std::string& batchPath, const std::string&) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    // The command interpreter runs the batch file with its console hidden; whether it started
    // is not examined.
    if (CreateProcessA(batchPath.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
}

} // namespace platform
