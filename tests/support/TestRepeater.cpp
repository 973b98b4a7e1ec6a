#include "support/TestRepeater.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t IdBlock = 250;

int Listen(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error(std::string("repeater: ") + std::strerror(errno));
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

TestRepeater::TestRepeater() {
    viewerListener_ = Listen(viewerPort_);
    serverListener_ = Listen(serverPort_);
    threads_.emplace_back([this] { Accept(viewerListener_, true); });
    threads_.emplace_back([this] { Accept(serverListener_, false); });
}

TestRepeater::~TestRepeater() {
    stopping_ = true;
    {
        std::lock_guard lock(mutex_);
        for (const int fd : {viewerListener_, serverListener_}) {
            ::shutdown(fd, SHUT_RDWR);
        }
        for (const int fd : sockets_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    // Threads started by threads: joined until none is left.
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        if (threads.empty()) {
            break;
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    for (const int fd : sockets_) {
        ::close(fd);
    }
    ::close(viewerListener_);
    ::close(serverListener_);
}

std::vector<std::string> TestRepeater::ViewerIds() const {
    std::lock_guard lock(mutex_);
    return viewerIds_;
}

int TestRepeater::ServersWaiting() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(waitingServers_.size());
}

void TestRepeater::Spawn(void (TestRepeater::*run)(int, int), int a, int b) {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
        threads_.emplace_back([this, run, a, b] { (this->*run)(a, b); });
    }
}

void TestRepeater::Accept(int listener, bool viewer) {
    while (!stopping_) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        std::lock_guard lock(mutex_);
        sockets_.push_back(fd);
        if (stopping_) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
        threads_.emplace_back([this, fd, viewer] { Handle(fd, viewer); });
    }
}

void TestRepeater::Handle(int fd, bool viewer) {
    static const char greeting[] = "RFB 000.000\n";
    if (viewer && !SendAll(fd, greeting, sizeof greeting - 1)) {
        return;
    }
    char block[IdBlock];
    size_t got = 0;
    while (got < IdBlock) {
        const ssize_t n = ::recv(fd, block + got, IdBlock - got, 0);
        if (n <= 0) {
            return;
        }
        got += static_cast<size_t>(n);
    }
    const std::string id(block, ::strnlen(block, IdBlock));
    int partner = -1;
    {
        std::lock_guard lock(mutex_);
        if (viewer) {
            viewerIds_.push_back(id);
        }
        auto& others = viewer ? waitingServers_ : waitingViewers_;
        auto& mine = viewer ? waitingViewers_ : waitingServers_;
        const auto other = others.find(id);
        if (other == others.end()) {
            mine[id] = fd;
            return;
        }
        partner = other->second;
        others.erase(other);
    }
    Spawn(&TestRepeater::Pump, partner, fd);
    Pump(fd, partner);
}

void TestRepeater::Pump(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
        if (n <= 0 || !SendAll(to, buffer, static_cast<size_t>(n))) {
            break;
        }
    }
    // One side gone: the other is told.
    ::shutdown(to, SHUT_RDWR);
    ::shutdown(from, SHUT_RDWR);
}
