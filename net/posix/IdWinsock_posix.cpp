// The socket library on a POSIX system: the C library's socket and resolver functions,
// resolved by name at run time, behind entry points with the Windows socket library's calls,
// layouts and error numbers, so the facade and its messages read the same everywhere.
#include "net/IdWinsock.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <gnu/lib-names.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The C library's own functions, as resolved from it. Calls of the byte-order ones are written
// (libc.htonl)(v), since the C library may also define those names as macros.
struct Libc {
    int (*accept)(int, sockaddr*, socklen_t*);
    int (*bind)(int, const sockaddr*, socklen_t);
    int (*close)(int);
    int (*connect)(int, const sockaddr*, socklen_t);
    int (*getpeername)(int, sockaddr*, socklen_t*);
    int (*getsockname)(int, sockaddr*, socklen_t*);
    int (*getsockopt)(int, int, int, void*, socklen_t*);
    uint32_t (*htonl)(uint32_t);
    uint16_t (*htons)(uint16_t);
    in_addr_t (*inet_addr)(const char*);
    char* (*inet_ntoa)(in_addr);
    int (*ioctl)(int, unsigned long, ...);
    int (*listen)(int, int);
    uint32_t (*ntohl)(uint32_t);
    uint16_t (*ntohs)(uint16_t);
    ssize_t (*recv)(int, void*, size_t, int);
    ssize_t (*recvfrom)(int, void*, size_t, int, sockaddr*, socklen_t*);
    int (*poll)(pollfd*, nfds_t, int);
    ssize_t (*send)(int, const void*, size_t, int);
    ssize_t (*sendto)(int, const void*, size_t, int, const sockaddr*, socklen_t);
    int (*setsockopt)(int, int, int, const void*, socklen_t);
    int (*shutdown)(int, int);
    int (*socket)(int, int, int);
    int (*gethostbyaddr_r)(const void*, socklen_t, int, hostent*, char*, size_t, hostent**, int*);
    int (*gethostbyname_r)(const char*, hostent*, char*, size_t, hostent**, int*);
    protoent* (*getprotobyname)(const char*);
    protoent* (*getprotobynumber)(int);
    servent* (*getservbyname)(const char*, const char*);
    servent* (*getservbyport)(int, const char*);
    int (*gethostname)(char*, size_t);
};

Libc libc;
thread_local int lastError = 0;

int WsaErrorOf(int error) {
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
    case EPIPE:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return 10000 + error;
    }
}

int WsaErrorOfResolver(int error) {
    switch (error) {
    case HOST_NOT_FOUND:
        return 11001;
    case TRY_AGAIN:
        return 11002;
    case NO_RECOVERY:
        return 11003;
    default:
        return 11004;
    }
}

// A failed call: remembers the error as the library would and gives the call's failure value.
int Failed() {
    lastError = WsaErrorOf(errno);
    return SocketError;
}

int Checked(long result) {
    return result < 0 ? Failed() : static_cast<int>(result);
}

int Fd(TSocket socket) {
    return static_cast<int>(socket);
}

// A host entry per thread, as the library keeps one, filled by the reentrant look-ups.
struct HostBuffer {
    hostent entry{};
    std::vector<char> space = std::vector<char>(8192);
};
thread_local HostBuffer hostBuffer;

template <class LookUp> hostent* LookUpHost(LookUp&& lookUp) {
    for (;;) {
        hostent* result = nullptr;
        int resolverError = 0;
        const int error = lookUp(&hostBuffer.entry, hostBuffer.space.data(),
                                 hostBuffer.space.size(), &result, &resolverError);
        if (error == ERANGE && hostBuffer.space.size() < (1u << 20)) {
            hostBuffer.space.resize(hostBuffer.space.size() * 2);
            continue;
        }
        if (result == nullptr) {
            lastError = error != 0 && error != ENOENT ? WsaErrorOf(error)
                                                      : WsaErrorOfResolver(resolverError);
        }
        return result;
    }
}

TSocket Accept(TSocket s, sockaddr* address, int* length) {
    socklen_t size = length ? static_cast<socklen_t>(*length) : 0;
    const int fd = libc.accept(Fd(s), address, length ? &size : nullptr);
    if (fd < 0) {
        return Failed();
    }
    if (length) {
        *length = static_cast<int>(size);
    }
    return fd;
}

int Bind(TSocket s, const sockaddr* address, int length) {
    return Checked(libc.bind(Fd(s), address, static_cast<socklen_t>(length)));
}

int CloseSocket(TSocket s) {
    return Checked(libc.close(Fd(s)));
}

int Connect(TSocket s, const sockaddr* address, int length) {
    return Checked(libc.connect(Fd(s), address, static_cast<socklen_t>(length)));
}

template <auto Member> int NameOf(TSocket s, sockaddr* address, int* length) {
    socklen_t size = static_cast<socklen_t>(*length);
    const int result = (libc.*Member)(Fd(s), address, &size);
    *length = static_cast<int>(size);
    return Checked(result);
}

int GetSockOpt(TSocket s, int level, int name, char* value, int* length) {
    socklen_t size = static_cast<socklen_t>(*length);
    const int result = libc.getsockopt(Fd(s), level, name, value, &size);
    *length = static_cast<int>(size);
    return Checked(result);
}

uint32_t HtoNl(uint32_t v) {
    return (libc.htonl)(v);
}
uint16_t HtoNs(uint16_t v) {
    return (libc.htons)(v);
}
uint32_t NtoHl(uint32_t v) {
    return (libc.ntohl)(v);
}
uint16_t NtoHs(uint16_t v) {
    return (libc.ntohs)(v);
}
uint32_t InetAddr(const char* text) {
    return libc.inet_addr(text);
}
char* InetNtoa(in_addr address) {
    return libc.inet_ntoa(address);
}

int IoctlSocket(TSocket s, long command, uint32_t* argument) {
    int value = static_cast<int>(*argument);
    const int result = libc.ioctl(Fd(s), static_cast<unsigned long>(command), &value);
    *argument = static_cast<uint32_t>(value);
    return Checked(result);
}

int Listen(TSocket s, int backlog) {
    return Checked(libc.listen(Fd(s), backlog));
}

int Recv(TSocket s, char* buffer, int length, int flags) {
    return Checked(libc.recv(Fd(s), buffer, static_cast<size_t>(length), flags));
}

int RecvFrom(TSocket s, char* buffer, int length, int flags, sockaddr* from, int* fromLength) {
    socklen_t size = fromLength ? static_cast<socklen_t>(*fromLength) : 0;
    const ssize_t result = libc.recvfrom(Fd(s), buffer, static_cast<size_t>(length), flags, from,
                                         fromLength ? &size : nullptr);
    if (fromLength) {
        *fromLength = static_cast<int>(size);
    }
    return Checked(result);
}

// The library's select over sets of handles, done with poll so that any descriptor number
// works; the sets come back holding the ready sockets in their own order.
int Select(int, TFdSet* readSet, TFdSet* writeSet, TFdSet* errorSet, const timeval* timeout) {
    std::vector<pollfd> polled;
    const auto add = [&](TFdSet* set, short events) {
        for (uint32_t i = 0; set && i < set->fd_count; ++i) {
            polled.push_back(pollfd{Fd(set->fd_array[i]), events, 0});
        }
    };
    add(readSet, POLLIN);
    add(writeSet, POLLOUT);
    add(errorSet, POLLPRI);
    const int wait =
        timeout ? static_cast<int>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
    if (libc.poll(polled.data(), polled.size(), wait) < 0) {
        return Failed();
    }
    int ready = 0;
    size_t next = 0;
    const auto keep = [&](TFdSet* set, short wanted) {
        if (!set) {
            return;
        }
        uint32_t kept = 0;
        for (uint32_t i = 0; i < set->fd_count; ++i, ++next) {
            const short got = polled[next].revents;
            const bool hit = (got & wanted) || (wanted != POLLPRI && (got & (POLLERR | POLLHUP)));
            if (hit) {
                set->fd_array[kept++] = set->fd_array[i];
            }
        }
        set->fd_count = kept;
        ready += static_cast<int>(kept);
    };
    keep(readSet, POLLIN);
    keep(writeSet, POLLOUT);
    keep(errorSet, POLLPRI);
    return ready;
}

int Send(TSocket s, const char* buffer, int length, int flags) {
    return Checked(libc.send(Fd(s), buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL));
}

int SendTo(TSocket s, const char* buffer, int length, int flags, const sockaddr* to, int toLength) {
    return Checked(libc.sendto(Fd(s), buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL, to,
                               static_cast<socklen_t>(toLength)));
}

int SetSockOpt(TSocket s, int level, int name, const char* value, int length) {
    return Checked(libc.setsockopt(Fd(s), level, name, value, static_cast<socklen_t>(length)));
}

int Shutdown(TSocket s, int how) {
    return Checked(libc.shutdown(Fd(s), how));
}

TSocket Socket(int family, int type, int protocol) {
    const int fd = libc.socket(family, type | SOCK_CLOEXEC, protocol);
    return fd < 0 ? Failed() : fd;
}

hostent* GetHostByAddr(const char* address, int length, int family) {
    return LookUpHost([&](hostent* entry, char* space, size_t size, hostent** result, int* error) {
        return libc.gethostbyaddr_r(address, static_cast<socklen_t>(length), family, entry, space,
                                    size, result, error);
    });
}

hostent* GetHostByName(const char* name) {
    return LookUpHost([&](hostent* entry, char* space, size_t size, hostent** result, int* error) {
        return libc.gethostbyname_r(name, entry, space, size, result, error);
    });
}

template <class Entry> Entry* Found(Entry* entry) {
    if (entry == nullptr) {
        lastError = 11004;
    }
    return entry;
}

protoent* GetProtoByName(const char* name) {
    return Found(libc.getprotobyname(name));
}
protoent* GetProtoByNumber(int number) {
    return Found(libc.getprotobynumber(number));
}
servent* GetServByName(const char* name, const char* protocol) {
    return Found(libc.getservbyname(name, protocol));
}
servent* GetServByPort(int port, const char* protocol) {
    return Found(libc.getservbyport(port, protocol));
}

int GetHostName(char* name, int length) {
    return Checked(libc.gethostname(name, static_cast<size_t>(length)));
}

int WsaGetLastError() {
    return lastError;
}
void WsaSetLastError(int error) {
    lastError = error;
}
int WsaCancelBlockingCall() {
    return 0;
}
int WsaIsBlocking() {
    return 0;
}
int WsaCleanup() {
    return 0;
}

int WsaStartup(uint16_t version, TWSAData* data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = version;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xFFFF;
    data->iMaxUdpDg = 65507;
    return 0;
}

int WsaFdIsSet(TSocket s, TFdSet* set) {
    return std::find(set->fd_array, set->fd_array + set->fd_count, s) !=
           set->fd_array + set->fd_count;
}

class LibcWinsock final : public WinsockLibrary {
public:
    const char* Name() const override { return LIBC_SO; }

    bool Load(WinsockTable& table) override {
        handle_ = ::dlopen(LIBC_SO, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            return false;
        }
        const auto resolve = [this](auto& field, const char* name) {
            field =
                reinterpret_cast<std::remove_reference_t<decltype(field)>>(::dlsym(handle_, name));
        };
        resolve(libc.accept, "accept");
        resolve(libc.bind, "bind");
        resolve(libc.close, "close");
        resolve(libc.connect, "connect");
        resolve(libc.getpeername, "getpeername");
        resolve(libc.getsockname, "getsockname");
        resolve(libc.getsockopt, "getsockopt");
        resolve(libc.htonl, "htonl");
        resolve(libc.htons, "htons");
        resolve(libc.inet_addr, "inet_addr");
        resolve(libc.inet_ntoa, "inet_ntoa");
        resolve(libc.ioctl, "ioctl");
        resolve(libc.listen, "listen");
        resolve(libc.ntohl, "ntohl");
        resolve(libc.ntohs, "ntohs");
        resolve(libc.recv, "recv");
        resolve(libc.recvfrom, "recvfrom");
        resolve(libc.poll, "poll");
        resolve(libc.send, "send");
        resolve(libc.sendto, "sendto");
        resolve(libc.setsockopt, "setsockopt");
        resolve(libc.shutdown, "shutdown");
        resolve(libc.socket, "socket");
        resolve(libc.gethostbyaddr_r, "gethostbyaddr_r");
        resolve(libc.gethostbyname_r, "gethostbyname_r");
        resolve(libc.getprotobyname, "getprotobyname");
        resolve(libc.getprotobynumber, "getprotobynumber");
        resolve(libc.getservbyname, "getservbyname");
        resolve(libc.getservbyport, "getservbyport");
        resolve(libc.gethostname, "gethostname");

        table = WinsockTable{};
        table.accept = Accept;
        table.bind = Bind;
        table.closesocket = CloseSocket;
        table.connect = Connect;
        table.getpeername = NameOf<&Libc::getpeername>;
        table.getsockname = NameOf<&Libc::getsockname>;
        table.getsockopt = GetSockOpt;
        table.htonl = HtoNl;
        table.htons = HtoNs;
        table.inet_addr = InetAddr;
        table.inet_ntoa = InetNtoa;
        table.ioctlsocket = IoctlSocket;
        table.listen = Listen;
        table.ntohl = NtoHl;
        table.ntohs = NtoHs;
        table.recv = Recv;
        table.recvfrom = RecvFrom;
        table.select = Select;
        table.send = Send;
        table.sendto = SendTo;
        table.setsockopt = SetSockOpt;
        table.shutdown = Shutdown;
        table.socket = Socket;
        table.gethostbyaddr = GetHostByAddr;
        table.gethostbyname = GetHostByName;
        table.getprotobyname = GetProtoByName;
        table.getprotobynumber = GetProtoByNumber;
        table.getservbyname = GetServByName;
        table.getservbyport = GetServByPort;
        table.gethostname = GetHostName;
        table.WSAGetLastError = WsaGetLastError;
        table.WSASetLastError = WsaSetLastError;
        table.WSACancelBlockingCall = WsaCancelBlockingCall;
        table.WSAIsBlocking = WsaIsBlocking;
        table.WSAStartup = WsaStartup;
        table.WSACleanup = WsaCleanup;
        table.WSAFDIsSet = WsaFdIsSet;
        return true;
    }

    void Unload() override {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
            handle_ = nullptr;
        }
    }

private:
    void* handle_ = nullptr;
};

} // namespace

WinsockLibrary& PlatformWinsockLibrary() {
    static LibcWinsock library;
    return library;
}

bool LookUpFirstLocalAddress(std::string& address) {
    char name[250] = {};
    ::gethostname(name, sizeof name - 1);
    hostent entry{};
    hostent* result = nullptr;
    int resolverError = 0;
    std::vector<char> space(8192);
    int error;
    while ((error = ::gethostbyname_r(name, &entry, space.data(), space.size(), &result,
                                      &resolverError)) == ERANGE &&
           space.size() < (1u << 20)) {
        space.resize(space.size() * 2);
    }
    if (result == nullptr || result->h_addrtype != AF_INET || result->h_addr_list[0] == nullptr) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, result->h_addr_list[0], text, sizeof text);
    address = text;
    return true;
}
