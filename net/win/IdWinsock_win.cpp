// The Windows socket library, loaded by name at run time with its entry points resolved into
// the facade's table.
#include "net/IdStack.h"
#include "net/IdWinsock.h"

#include <windows.h>

namespace {

HMODULE module = nullptr;
using TransmitFileEntry = BOOL(WINAPI*)(TSocket, HANDLE, DWORD, DWORD, LPOVERLAPPED, void*, DWORD);
TransmitFileEntry transmitFile = nullptr;

// Sends a file whole with the library's TransmitFile; its size when that worked, else 0.
int64_t TransmitWholeFile(TSocket socket, const std::string& fileName) {
    const HANDLE file = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    LARGE_INTEGER size{};
    int64_t sent = 0;
    if (transmitFile != nullptr && GetFileSizeEx(file, &size) &&
        transmitFile(socket, file, 0, 0, nullptr, nullptr, 0)) {
        sent = size.QuadPart;
    }
    CloseHandle(file);
    return sent;
}

// The NT family (the high bit of the version clear) gets the whole-file sender.
const bool serveFileInstalled = [] {
    if ((GetVersion() & 0x80000000u) == 0) {
        GServeFileProc = TransmitWholeFile;
    }
    return true;
}();

template <class Entry> void Resolve(Entry& entry, const char* name) {
    entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class Wsock32 final : public WinsockLibrary {
public:
    const char* Name() const override { return "wsock32.dll"; }

    bool Load(WinsockTable& table) override {
        module = LoadLibraryA("wsock32.dll");
        if (module == nullptr) {
            return false;
        }
        Resolve(table.accept, "accept");
        Resolve(table.bind, "bind");
        Resolve(table.closesocket, "closesocket");
        Resolve(table.connect, "connect");
        Resolve(table.getpeername, "getpeername");
        Resolve(table.getsockname, "getsockname");
        Resolve(table.getsockopt, "getsockopt");
        Resolve(table.htonl, "htonl");
        Resolve(table.htons, "htons");
        Resolve(table.inet_addr, "inet_addr");
        Resolve(table.inet_ntoa, "inet_ntoa");
        Resolve(table.ioctlsocket, "ioctlsocket");
        Resolve(table.listen, "listen");
        Resolve(table.ntohl, "ntohl");
        Resolve(table.ntohs, "ntohs");
        Resolve(table.recv, "recv");
        Resolve(table.recvfrom, "recvfrom");
        Resolve(table.select, "select");
        Resolve(table.send, "send");
        Resolve(table.sendto, "sendto");
        Resolve(table.setsockopt, "setsockopt");
        Resolve(table.shutdown, "shutdown");
        Resolve(table.socket, "socket");
        Resolve(table.gethostbyaddr, "gethostbyaddr");
        Resolve(table.gethostbyname, "gethostbyname");
        Resolve(table.getprotobyname, "getprotobyname");
        Resolve(table.getprotobynumber, "getprotobynumber");
        Resolve(table.getservbyname, "getservbyname");
        Resolve(table.getservbyport, "getservbyport");
        Resolve(table.gethostname, "gethostname");
        Resolve(table.WSAAsyncSelect, "WSAAsyncSelect");
        Resolve(table.WSARecvEx, "WSARecvEx");
        Resolve(table.WSAAsyncGetHostByAddr, "WSAAsyncGetHostByAddr");
        Resolve(table.WSAAsyncGetHostByName, "WSAAsyncGetHostByName");
        Resolve(table.WSAAsyncGetProtoByNumber, "WSAAsyncGetProtoByNumber");
        Resolve(table.WSAAsyncGetProtoByName, "WSAAsyncGetProtoByName");
        Resolve(table.WSAAsyncGetServByPort, "WSAAsyncGetServByPort");
        Resolve(table.WSAAsyncGetServByName, "WSAAsyncGetServByName");
        Resolve(table.WSACancelAsyncRequest, "WSACancelAsyncRequest");
        Resolve(table.WSASetBlockingHook, "WSASetBlockingHook");
        Resolve(table.WSAUnhookBlockingHook, "WSAUnhookBlockingHook");
        Resolve(table.WSAGetLastError, "WSAGetLastError");
        Resolve(table.WSASetLastError, "WSASetLastError");
        Resolve(table.WSACancelBlockingCall, "WSACancelBlockingCall");
        Resolve(table.WSAIsBlocking, "WSAIsBlocking");
        Resolve(table.WSAStartup, "WSAStartup");
        Resolve(table.WSACleanup, "WSACleanup");
        Resolve(table.WSAFDIsSet, "__WSAFDIsSet");
        Resolve(table.TransmitFile, "TransmitFile");
        transmitFile = reinterpret_cast<TransmitFileEntry>(table.TransmitFile);
        Resolve(table.AcceptEx, "AcceptEx");
        Resolve(table.GetAcceptExSockaddrs, "GetAcceptExSockaddrs");
        return true;
    }

    void Unload() override {
        if (module != nullptr) {
            FreeLibrary(module);
            module = nullptr;
            transmitFile = nullptr;
        }
    }
};

} // namespace

WinsockLibrary& PlatformWinsockLibrary() {
    static Wsock32 library;
    return library;
}

bool LookUpFirstLocalAddress(std::string& address) {
    // The library keeps a look-up's result per thread: safe from the polling thread, which
    // the facade's start-up has already made ready.
    char name[250] = {};
    gethostname(name, sizeof name - 1);
    const hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    address = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
              std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
    return true;
}
