#include "platform/DatabaseSocket.h"

#include <dlfcn.h>
#include <sys/socket.h>

namespace platform {

intptr_t DatabaseSocket(void* connection) {
    // Only a library already loaded is asked: nothing is loaded for this.
    void* library = ::dlopen("libpq.so.5", RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr || connection == nullptr) {
        return -1;
    }
    using Socket = int (*)(const void*);
    const auto socket = reinterpret_cast<Socket>(::dlsym(library, "PQsocket"));
    const intptr_t fd = socket ? socket(connection) : -1;
    ::dlclose(library);
    return fd;
}

void ShutDownSocket(intptr_t socket) {
    if (socket >= 0) {
        ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    }
}

} // namespace platform
