#include "platform/ProcessEnd.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

void EndThisProcess(int code) {
    // Not ExitProcess: it runs every DLL's detach, which waits for the loader's lock that a
    // stuck thread may hold.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    std::abort();
}

void EndLater(int code, int milliseconds) {
    struct Later {
        int code;
        int milliseconds;
    };
    auto* later = new Later{code, milliseconds};
    const HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* argument) -> DWORD {
            const Later* later = static_cast<Later*>(argument);
            Sleep(static_cast<DWORD>(later->milliseconds));
            EndThisProcess(later->code);
        },
        later, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
    } else {
        delete later;
    }
}

int Finish(int code) {
    std::fflush(nullptr);
    EndThisProcess(code);
}

} // namespace platform
