#include "platform/Account.h"

#include <windows.h>

namespace platform {

std::string AccountName() {
    // In the system's code page, as the program's other Windows names: shown as such.
    char name[257] = {};
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size) || size == 0) {
        return {};
    }
    return std::string(name, size - 1);
}

} // namespace platform
