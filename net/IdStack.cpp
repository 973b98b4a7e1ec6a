#include "net/IdStack.h"

#include "base/Exception.h"
#include "net/IdException.h"
#include "net/IdResourceStrings.h"
#include "platform/Convert.h"

#include <cstdio>
#include <cstring>

TServeFileProc GServeFileProc = nullptr;

std::string FormatResourceString(const char* pattern, const std::string& argument) {
    std::string text = pattern;
    size_t at = text.find("%s");
    if (at == std::string::npos) {
        at = text.find("%d");
    }
    if (at != std::string::npos) {
        text.replace(at, 2, argument);
    }
    return text;
}

std::string TakeToken(std::string& input, const std::string& delimiter, bool remove) {
    // The character sets this program meets have no lead bytes: a plain byte search finds
    // the delimiter in every case.
    const size_t at = input.find(delimiter);
    if (at == std::string::npos) {
        std::string token = input;
        if (remove) {
            input.clear();
        }
        return token;
    }
    std::string token = input.substr(0, at);
    if (remove) {
        input.erase(0, at + delimiter.size());
    }
    return token;
}

TIdStackVersionWinsock::TIdStackVersionWinsock(const TWSAData& data) {
    MaxUdpDg = data.iMaxUdpDg;
    MaxSockets = data.iMaxSockets;
    HighVersion = data.wHighVersion;
    Version = data.wVersion;
    Description.assign(data.szDescription, strnlen(data.szDescription, 256));
    SystemStatus.assign(data.szSystemStatus, strnlen(data.szSystemStatus, 128));
    Name = "Winsock stack";
}

TIdStack* TIdStack::CreatePlatformStack() {
    return new TIdStackWinsock();
}

TIdStack::~TIdStack() = default;

std::string TIdStack::TranslateErrorMessage(int code) {
    std::string text;
    for (const auto& entry : RSIdStrings::SocketErrors) {
        if (entry.code == code) {
            text = entry.text;
            break;
        }
    }
    return FormatResourceString(RSIdStrings::SocketErrorNumber, std::to_string(code)) + "\r\n" +
           text;
}

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignored) {
    if (result != SocketError) {
        return false;
    }
    const int code = LastSocketError();
    for (const int each : ignored) {
        if (each == code) {
            return true;
        }
    }
    RaiseSocketFailure(code);
}

void TIdStack::RaiseSocketFailure(int code) {
    throw EIdSocketError(TranslateErrorMessage(code), code);
}

TIdStackWinsock::TIdStackWinsock(WinsockLibrary& library) : library_(library) {
    if (!library_.Load(table_)) {
        throw EIdStackCanNotLoadWinsock(
            FormatResourceString(RSIdStrings::StackCanNotLoad, library_.Name()));
    }
    TWSAData data{};
    if (table_.WSAStartup == nullptr || table_.WSAStartup(0x0101, &data) != 0) {
        library_.Unload();
        throw EIdStackInitializationFailed(RSIdStrings::WinsockInitializationError);
    }
    version_ = std::make_unique<TIdStackVersionWinsock>(data);
}

TIdStackWinsock::~TIdStackWinsock() {
    if (table_.WSACancelBlockingCall) {
        table_.WSACancelBlockingCall();
    }
    if (table_.WSACleanup) {
        table_.WSACleanup();
    }
    library_.Unload();
}

template <class Entry> Entry TIdStackWinsock::Call(Entry entry) {
    if (entry == nullptr) {
        RaiseSocketFailure(10045);
    }
    return entry;
}

const std::vector<std::string>& TIdStackWinsock::LocalAddressList() {
    if (!localAddresses_) {
        localAddresses_ = std::make_unique<std::vector<std::string>>();
    }
    RefreshLocalAddresses();
    return *localAddresses_;
}

void TIdStackWinsock::RefreshLocalAddresses() {
    if (!localAddresses_) {
        localAddresses_ = std::make_unique<std::vector<std::string>>();
    }
    localAddresses_->clear();
    const std::string name = QueryHostName();
    const hostent* host = Call(table_.gethostbyname)(name.c_str());
    if (host == nullptr) {
        CheckSocketResult(SocketError);
        return;
    }
    for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
        TIdIPAddress address;
        std::memcpy(address.data(), *entry, 4);
        localAddresses_->push_back(AddressToText(address));
    }
}

std::string TIdStackWinsock::FirstLocalAddress() {
    const auto& list = LocalAddressList();
    if (list.empty()) {
        throw EListError("List index out of bounds (0)");
    }
    return list.front();
}

std::string TIdStackWinsock::QueryHostName() {
    char name[251] = {};
    Call(table_.gethostname)(name, 250);
    return std::string(name, strnlen(name, 250));
}

sockaddr_in TIdStackWinsock::MakeAddress(int family, const std::string& ip, uint16_t port,
                                         bool anyWhenEmpty) {
    sockaddr_in address{};
    address.sin_family = static_cast<decltype(address.sin_family)>(family);
    address.sin_port = Call(table_.htons)(port);
    if (!(anyWhenEmpty && ip.empty())) {
        const TIdIPAddress bytes = TextToAddress(ip);
        std::memcpy(&address.sin_addr, bytes.data(), 4);
    }
    return address;
}

void TIdStackWinsock::ReadAddress(const sockaddr_in& address, std::string& ip, uint16_t& port) {
    TIdIPAddress bytes;
    std::memcpy(bytes.data(), &address.sin_addr, 4);
    ip = AddressToText(bytes);
    port = Call(table_.ntohs)(address.sin_port);
}

TSocket TIdStackWinsock::AcceptConnection(TSocket socket, std::string& ip, uint16_t& port) {
    sockaddr_in address{};
    int length = sizeof address;
    const TSocket result =
        Call(table_.accept)(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ReadAddress(address, ip, port);
    return result;
}

int TIdStackWinsock::BindSocket(TSocket socket, int family, const std::string& ip, uint16_t port) {
    const sockaddr_in address = MakeAddress(family, ip, port, true);
    return Call(table_.bind)(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int TIdStackWinsock::CloseSocket(TSocket socket) {
    return Call(table_.closesocket)(socket);
}

int TIdStackWinsock::ConnectSocket(TSocket socket, int family, const std::string& ip,
                                   uint16_t port) {
    const sockaddr_in address = MakeAddress(family, ip, port, false);
    return Call(table_.connect)(socket, reinterpret_cast<const sockaddr*>(&address),
                                sizeof address);
}

std::string TIdStackWinsock::ResolveHostAddress(const std::string& host) {
    const hostent* entry = Call(table_.gethostbyname)(host.c_str());
    if (entry == nullptr || entry->h_addr_list[0] == nullptr) {
        CheckSocketResult(SocketError);
        throw EListError("List index out of bounds (0)");
    }
    TIdIPAddress address;
    std::memcpy(address.data(), entry->h_addr_list[0], 4);
    return AddressToText(address);
}

std::string TIdStackWinsock::ReverseLookup(const std::string& ip) {
    const uint32_t address = Call(table_.inet_addr)(ip.c_str());
    const hostent* entry =
        Call(table_.gethostbyaddr)(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (entry == nullptr) {
        CheckSocketResult(SocketError);
        return {};
    }
    return entry->h_name;
}

uint16_t TIdStackWinsock::ServicePort(const std::string& service) {
    if (const servent* entry = Call(table_.getservbyname)(service.c_str(), nullptr)) {
        return Call(table_.ntohs)(static_cast<uint16_t>(entry->s_port));
    }
    const auto number = TryStrToInt(service);
    if (!number) {
        throw EIdInvalidServiceName(FormatResourceString(RSIdStrings::InvalidServiceName, service));
    }
    return static_cast<uint16_t>(*number);
}

std::vector<std::string> TIdStackWinsock::ServiceNames(uint16_t port) {
    std::vector<std::string> names;
    const servent* entry = Call(table_.getservbyport)(Call(table_.htons)(port), nullptr);
    if (entry != nullptr) {
        names.emplace_back(entry->s_name);
        for (char** alias = entry->s_aliases; alias && *alias; ++alias) {
            names.emplace_back(*alias);
        }
    }
    return names;
}

uint16_t TIdStackWinsock::HostToNetShort(uint16_t value) {
    return Call(table_.htons)(value);
}
uint16_t TIdStackWinsock::NetToHostShort(uint16_t value) {
    return Call(table_.ntohs)(value);
}
uint32_t TIdStackWinsock::HostToNetLong(uint32_t value) {
    return Call(table_.htonl)(value);
}
uint32_t TIdStackWinsock::NetToHostLong(uint32_t value) {
    return Call(table_.ntohl)(value);
}

int TIdStackWinsock::ListenOn(TSocket socket, int backlog) {
    return Call(table_.listen)(socket, backlog);
}

int TIdStackWinsock::ReceiveData(TSocket socket, void* buffer, int length, int flags) {
    return Call(table_.recv)(socket, static_cast<char*>(buffer), length, flags);
}

int TIdStackWinsock::ReceiveDatagram(TSocket socket, void* buffer, int length, int flags,
                                     std::string& ip, uint16_t& port) {
    sockaddr_in address{};
    int size = sizeof address;
    const int result = Call(table_.recvfrom)(socket, static_cast<char*>(buffer), length, flags,
                                             reinterpret_cast<sockaddr*>(&address), &size);
    ReadAddress(address, ip, port);
    return result;
}

int TIdStackWinsock::SelectReady(TIdSocketList* read, TIdSocketList* write, TIdSocketList* error,
                                 int timeoutMs) {
    TFdSet sets[3] = {};
    TIdSocketList* lists[3] = {read, write, error};
    for (int i = 0; i < 3; ++i) {
        if (lists[i] == nullptr) {
            continue;
        }
        if (lists[i]->size() > FdSetSize) {
            throw EIdStackSetSizeExceeded(RSIdStrings::SetSizeExceeded);
        }
        for (const TSocket socket : *lists[i]) {
            sets[i].fd_array[sets[i].fd_count++] = socket;
        }
    }
    timeval time{};
    const timeval* limit = nullptr;
    if (timeoutMs != -2) {
        time.tv_sec = timeoutMs / 1000;
        time.tv_usec = (timeoutMs % 1000) * 1000;
        limit = &time;
    }
    const int result = Call(table_.select)(0, read ? &sets[0] : nullptr, write ? &sets[1] : nullptr,
                                           error ? &sets[2] : nullptr, limit);
    for (int i = 0; i < 3; ++i) {
        if (lists[i] != nullptr) {
            lists[i]->assign(sets[i].fd_array, sets[i].fd_array + sets[i].fd_count);
        }
    }
    return result;
}

int TIdStackWinsock::SendData(TSocket socket, const void* buffer, int length, int flags) {
    return Call(table_.send)(socket, static_cast<const char*>(buffer), length, flags);
}

int TIdStackWinsock::SendDatagram(TSocket socket, const void* buffer, int length, int flags,
                                  const std::string& ip, uint16_t port) {
    const sockaddr_in address = MakeAddress(AF_INET, ip, port, false);
    return Call(table_.sendto)(socket, static_cast<const char*>(buffer), length, flags,
                               reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int TIdStackWinsock::SetSocketOption(TSocket socket, int level, int name, const void* value,
                                     int length) {
    return Call(table_.setsockopt)(socket, level, name, static_cast<const char*>(value), length);
}

TSocket TIdStackWinsock::CreateSocket(int family, int type, int protocol) {
    return Call(table_.socket)(family, type, protocol);
}

int TIdStackWinsock::ShutdownSocket(TSocket socket, int how) {
    return Call(table_.shutdown)(socket, how);
}

int TIdStackWinsock::LastSocketError() {
    return Call(table_.WSAGetLastError)();
}

void TIdStackWinsock::PeerAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) {
    ReadSocketName(Call(table_.getpeername), socket, family, ip, port);
}

void TIdStackWinsock::SocketAddress(TSocket socket, int& family, std::string& ip, uint16_t& port) {
    ReadSocketName(Call(table_.getsockname), socket, family, ip, port);
}

void TIdStackWinsock::ReadSocketName(int (*call)(TSocket, sockaddr*, int*), TSocket socket,
                                     int& family, std::string& ip, uint16_t& port) {
    sockaddr_in address{};
    int length = sizeof address;
    CheckSocketResult(call(socket, reinterpret_cast<sockaddr*>(&address), &length));
    family = address.sin_family;
    ReadAddress(address, ip, port);
}

std::string TIdStackWinsock::AddressToText(const TIdIPAddress& address) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1],
                                     address[2], address[3]);
    return std::string(text, static_cast<size_t>(length));
}

TIdIPAddress TIdStackWinsock::TextToAddress(const std::string& text) {
    std::string rest = text;
    TIdIPAddress address{};
    for (auto& byte : address) {
        byte = static_cast<uint8_t>(StrToInt(TakeToken(rest, ".")) & 0xFF);
    }
    return address;
}
