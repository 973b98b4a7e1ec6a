#include "platform/ProcessEnd.h"

#include <unistd.h>

namespace platform {

void EndThisProcess(int code) {
    _exit(code);
}

} // namespace platform
