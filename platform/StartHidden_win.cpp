#include "platform/StartHidden.h"

#include <windows.h>

namespace platform {

ViewerProblem ViewerStartProblem(const std::string& viewerPath) {
    const DWORD attributes = GetFileAttributesA(viewerPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? ViewerProblem::Missing
               : ViewerProblem::None;
}

namespace {

// The command interpreter running the batch file: it ends when the viewer it runs does. Its
// handle is kept for that.
class WinStartedProgram final : public StartedProgram {
public:
    explicit WinStartedProgram(HANDLE process) : process_(process) {}
    ~WinStartedProgram() override { CloseHandle(process_); }
    intptr_t EndHandle() const override { return reinterpret_cast<intptr_t>(process_); }
    std::optional<ProcessEnd> Ended() override {
        if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        ProcessEnd end;
        end.exitedNormally = true;
        end.exitCode = static_cast<int>(code);
        return end;
    }

private:
    HANDLE process_;
};

} // namespace

std::unique_ptr<StartedProgram> StartBatchFileHidden(const std::string& batchPath,
                                                     const std::string&) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    // The command interpreter runs the batch file with its console hidden; whether it started
    // is not examined.
    if (!CreateProcessA(batchPath.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return std::make_unique<WinStartedProgram>(process.hProcess);
}

} // namespace platform
