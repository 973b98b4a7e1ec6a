#pragma once

// The socket library as the facade sees it: the Windows socket library's calls and layouts,
// reached only through a table of entry points that a binding fills by name at run time.
// On Windows the binding is the library itself; elsewhere it maps the calls onto the C
// library, with the Windows socket error numbers.

#include <cstdint>
#include <string>

#include "IdWinsockPlatform.h"

using TSocket = intptr_t;
inline constexpr TSocket InvalidSocket = -1;
inline constexpr int SocketError = -1;

// The socket library's set of sockets: a count followed by up to 64 handles.
inline constexpr int FdSetSize = 64;
struct TFdSet {
    uint32_t fd_count;
    TSocket fd_array[FdSetSize];
};

// One entry per name the library is asked for, in the library's order. Calls that the
// facade never makes are kept untyped.
struct WinsockTable {
    TSocket (*accept)(TSocket, sockaddr*, int*);
    int (*bind)(TSocket, const sockaddr*, int);
    int (*closesocket)(TSocket);
    int (*connect)(TSocket, const sockaddr*, int);
    int (*getpeername)(TSocket, sockaddr*, int*);
    int (*getsockname)(TSocket, sockaddr*, int*);
    int (*getsockopt)(TSocket, int, int, char*, int*);
    uint32_t (*htonl)(uint32_t);
    uint16_t (*htons)(uint16_t);
    uint32_t (*inet_addr)(const char*);
    char* (*inet_ntoa)(in_addr);
    int (*ioctlsocket)(TSocket, long, uint32_t*);
    int (*listen)(TSocket, int);
    uint32_t (*ntohl)(uint32_t);
    uint16_t (*ntohs)(uint16_t);
    int (*recv)(TSocket, char*, int, int);
    int (*recvfrom)(TSocket, char*, int, int, sockaddr*, int*);
    int (*select)(int, TFdSet*, TFdSet*, TFdSet*, const timeval*);
    int (*send)(TSocket, const char*, int, int);
    int (*sendto)(TSocket, const char*, int, int, const sockaddr*, int);
    int (*setsockopt)(TSocket, int, int, const char*, int);
    int (*shutdown)(TSocket, int);
    TSocket (*socket)(int, int, int);
    hostent* (*gethostbyaddr)(const char*, int, int);
    hostent* (*gethostbyname)(const char*);
    protoent* (*getprotobyname)(const char*);
    protoent* (*getprotobynumber)(int);
    servent* (*getservbyname)(const char*, const char*);
    servent* (*getservbyport)(int, const char*);
    int (*gethostname)(char*, int);
    void* WSAAsyncSelect;
    void* WSARecvEx;
    void* WSAAsyncGetHostByAddr;
    void* WSAAsyncGetHostByName;
    void* WSAAsyncGetProtoByNumber;
    void* WSAAsyncGetProtoByName;
    void* WSAAsyncGetServByPort;
    void* WSAAsyncGetServByName;
    void* WSACancelAsyncRequest;
    void* WSASetBlockingHook;
    void* WSAUnhookBlockingHook;
    int (*WSAGetLastError)();
    void (*WSASetLastError)(int);
    int (*WSACancelBlockingCall)();
    int (*WSAIsBlocking)();
    int (*WSAStartup)(uint16_t, TWSAData*);
    int (*WSACleanup)();
    int (*WSAFDIsSet)(TSocket, TFdSet*);
    void* TransmitFile;
    void* AcceptEx;
    void* GetAcceptExSockaddrs;
};

// Loads a socket library and fills a table from it.
class WinsockLibrary {
public:
    virtual ~WinsockLibrary() = default;
    // The library file's name, for the message when it cannot be loaded.
    virtual const char* Name() const = 0;
    // Loads the library and resolves every entry point by name; false when it cannot load.
    virtual bool Load(WinsockTable& table) = 0;
    virtual void Unload() = 0;
};

// The platform's socket library.
WinsockLibrary& PlatformWinsockLibrary();

// The first IPv4 address the resolver gives for this machine's own name, found without
// touching the facade's state, so that any thread may call it; false when the look-up failed
// or found no address.
bool LookUpFirstLocalAddress(std::string& address);
