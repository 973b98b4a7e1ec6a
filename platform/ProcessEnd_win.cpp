#include "platform/ProcessEnd.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

void EndThisProcess(int code) {
    // Not ExitProcess: it runs every DLL's detach, which waits for the loader's lock that a
    // stuck thread may hold.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    std::abort();
}

} // namespace platform
