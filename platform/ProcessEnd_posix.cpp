#include "platform/ProcessEnd.h"

#include <unistd.h>

#include <chrono>
#include <thread>

namespace platform {

void EndThisProcess(int code) {
    _exit(code);
}

void EndLater(int code, int milliseconds) {
    std::thread([code, milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        EndThisProcess(code);
    }).detach();
}

int Finish(int code) {
    return code;
}

} // namespace platform
