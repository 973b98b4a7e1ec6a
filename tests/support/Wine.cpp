#include "support/Wine.h"

#if defined(_WIN32)
#include <windows.h>

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
#else
bool RunningUnderWine() {
    return false;
}
#endif
