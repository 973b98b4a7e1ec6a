#pragma once

#include "net/IdWinsock.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

using TIdIPAddress = std::array<uint8_t, 4>;
using TIdSocketList = std::vector<TSocket>;

class TIdStackVersion {
public:
    virtual ~TIdStackVersion() = default;
    uint32_t MaxUdpDg = 0;
    uint32_t MaxSockets = 0;
    uint16_t HighVersion = 0;
    uint16_t Version = 0;
    std::string Description;
    std::string VendorInfo;
    std::string SystemStatus;
    std::string Name;
};

class TIdStackVersionWinsock final : public TIdStackVersion {
public:
    explicit TIdStackVersionWinsock(const TWSAData& data);
};

// The facade over the socket library: one per process, shared by the subsystem's components.
// Failed calls that it checks become EIdSocketError with a readable message.
class TIdStack {
public:
    // A new stack over the platform's socket library.
    static TIdStack* CreatePlatformStack();

    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;
    virtual ~TIdStack();

    virtual void RefreshLocalAddresses() = 0;
    virtual std::string FirstLocalAddress() = 0;
    // The stack's own list, refilled on each call; callers never free it.
    virtual const std::vector<std::string>& LocalAddressList() = 0;

    virtual TSocket AcceptConnection(TSocket socket, std::string& ip, uint16_t& port) = 0;
    virtual int BindSocket(TSocket socket, int family, const std::string& ip, uint16_t port) = 0;
    virtual int CloseSocket(TSocket socket) = 0;
    virtual int ConnectSocket(TSocket socket, int family, const std::string& ip, uint16_t port) = 0;
    virtual std::string ResolveHostAddress(const std::string& host) = 0;
    virtual std::string QueryHostName() = 0;
    virtual std::string ReverseLookup(const std::string& ip) = 0;
    virtual uint16_t ServicePort(const std::string& service) = 0;
    virtual std::vector<std::string> ServiceNames(uint16_t port) = 0;
    virtual uint16_t HostToNetShort(uint16_t value) = 0;
    virtual int ListenOn(TSocket socket, int backlog) = 0;
    virtual uint16_t NetToHostShort(uint16_t value) = 0;
    virtual uint32_t HostToNetLong(uint32_t value) = 0;
    virtual uint32_t NetToHostLong(uint32_t value) = 0;
    virtual int ReceiveData(TSocket socket, void* buffer, int length, int flags) = 0;
    virtual int ReceiveDatagram(TSocket socket, void* buffer, int length, int flags,
                                std::string& ip, uint16_t& port) = 0;
    // Lists may be absent; -2 waits without a limit. More than 64 sockets in a list raise
    // EIdStackSetSizeExceeded before the library is called.
    virtual int SelectReady(TIdSocketList* read, TIdSocketList* write, TIdSocketList* error,
                            int timeoutMs) = 0;
    virtual int SendData(TSocket socket, const void* buffer, int length, int flags) = 0;
    virtual int SendDatagram(TSocket socket, const void* buffer, int length, int flags,
                             const std::string& ip, uint16_t port) = 0;
    virtual int SetSocketOption(TSocket socket, int level, int name, const void* value,
                                int length) = 0;
    virtual TSocket CreateSocket(int family, int type, int protocol) = 0;
    virtual int ShutdownSocket(TSocket socket, int how) = 0;
    virtual std::string TranslateErrorMessage(int code);
    virtual int LastSocketError() = 0;
    virtual void PeerAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) = 0;
    virtual void SocketAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) = 0;
    virtual std::string AddressToText(const TIdIPAddress& address) = 0;
    virtual TIdIPAddress TextToAddress(const std::string& text) = 0;

    // True when the call failed with an ignored code, false when it did not fail; any other
    // failure raises EIdSocketError.
    bool CheckSocketResult(int result, std::initializer_list<int> ignored = {});
    [[noreturn]] void RaiseSocketFailure(int code);

protected:
    TIdStack() = default;

    std::unique_ptr<TIdStackVersion> version_;
    std::unique_ptr<std::vector<std::string>> localAddresses_;
};

// The facade over the Windows socket library's calls, reached through a table of entry points.
class TIdStackWinsock final : public TIdStack {
public:
    explicit TIdStackWinsock(WinsockLibrary& library = PlatformWinsockLibrary());
    ~TIdStackWinsock() override;

    const TIdStackVersion& Version() const { return *version_; }

    void RefreshLocalAddresses() override;
    std::string FirstLocalAddress() override;
    const std::vector<std::string>& LocalAddressList() override;
    TSocket AcceptConnection(TSocket socket, std::string& ip, uint16_t& port) override;
    int BindSocket(TSocket socket, int family, const std::string& ip, uint16_t port) override;
    int CloseSocket(TSocket socket) override;
    int ConnectSocket(TSocket socket, int family, const std::string& ip, uint16_t port) override;
    std::string ResolveHostAddress(const std::string& host) override;
    std::string QueryHostName() override;
    std::string ReverseLookup(const std::string& ip) override;
    uint16_t ServicePort(const std::string& service) override;
    std::vector<std::string> ServiceNames(uint16_t port) override;
    uint16_t HostToNetShort(uint16_t value) override;
    int ListenOn(TSocket socket, int backlog) override;
    uint16_t NetToHostShort(uint16_t value) override;
    uint32_t HostToNetLong(uint32_t value) override;
    uint32_t NetToHostLong(uint32_t value) override;
    int ReceiveData(TSocket socket, void* buffer, int length, int flags) override;
    int ReceiveDatagram(TSocket socket, void* buffer, int length, int flags, std::string& ip,
                        uint16_t& port) override;
    int SelectReady(TIdSocketList* read, TIdSocketList* write, TIdSocketList* error,
                    int timeoutMs) override;
    int SendData(TSocket socket, const void* buffer, int length, int flags) override;
    int SendDatagram(TSocket socket, const void* buffer, int length, int flags,
                     const std::string& ip, uint16_t port) override;
    int SetSocketOption(TSocket socket, int level, int name, const void* value,
                        int length) override;
    TSocket CreateSocket(int family, int type, int protocol) override;
    int ShutdownSocket(TSocket socket, int how) override;
    int LastSocketError() override;
    void PeerAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) override;
    void SocketAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) override;
    std::string AddressToText(const TIdIPAddress& address) override;
    TIdIPAddress TextToAddress(const std::string& text) override;

private:
    // An entry point the facade calls; a missing one fails as an unsupported operation.
    template <class Entry> Entry Call(Entry entry);
    sockaddr_in MakeAddress(int family, const std::string& ip, uint16_t port, bool anyWhenEmpty);
    void ReadAddress(const sockaddr_in& address, std::string& ip, uint16_t& port);
    // getpeername or getsockname, checked, into family, address and port.
    void ReadSocketName(int (*call)(TSocket, sockaddr*, int*), TSocket socket, int& family,
                        std::string& ip, uint16_t& port);

    WinsockLibrary& library_;
    WinsockTable table_{};
};

// The text before the first delimiter; with remove, the input loses it and the delimiter
// (or everything, when there is no delimiter).
std::string TakeToken(std::string& input, const std::string& delimiter, bool remove = true);

// The process's routine that sends a whole file over a socket and returns the bytes sent (0 on
// failure); installed at start-up where the socket library can do it (the Windows NT family),
// absent elsewhere.
using TServeFileProc = int64_t (*)(TSocket socket, const std::string& fileName);
extern TServeFileProc GServeFileProc;

// A message with its one "%s" or "%d" filled in.
std::string FormatResourceString(const char* pattern, const std::string& argument);
