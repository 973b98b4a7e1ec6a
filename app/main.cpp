#include "app/Program.h"

int main(int argc, char* argv[]) {
#ifdef MBV_INSTALLED_COPY
    constexpr bool installedCopy = true;
#else
    constexpr bool installedCopy = false;
#endif
    return RunProgram(argc, argv, {}, installedCopy);
}
