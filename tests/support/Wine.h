#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

// Whether the tests run under Wine, whose settings functions differ from Windows' in a known
// way (see ProfileConformanceTest).
inline bool RunningUnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}
