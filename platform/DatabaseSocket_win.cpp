#include "platform/DatabaseSocket.h"

#include <windows.h>
#include <winsock2.h>

namespace platform {

intptr_t DatabaseSocket(void* connection) {
    // The driver's client library, already loaded: nothing is loaded for this.
    const HMODULE library = GetModuleHandleA("libpq.dll");
    if (library == nullptr || connection == nullptr) {
        return -1;
    }
    using Socket = int(__cdecl*)(const void*);
    const auto socket =
        reinterpret_cast<Socket>(reinterpret_cast<void*>(GetProcAddress(library, "PQsocket")));
    return socket ? socket(connection) : -1;
}

void ShutDownSocket(intptr_t socket) {
    // The sockets library is loaded with the client library that made the socket.
    const HMODULE library = GetModuleHandleA("ws2_32.dll");
    if (library == nullptr || socket < 0) {
        return;
    }
    using ShutDown = int(WSAAPI*)(SOCKET, int);
    const auto shutDown =
        reinterpret_cast<ShutDown>(reinterpret_cast<void*>(GetProcAddress(library, "shutdown")));
    if (shutDown) {
        shutDown(static_cast<SOCKET>(socket), SD_BOTH);
    }
}

} // namespace platform
