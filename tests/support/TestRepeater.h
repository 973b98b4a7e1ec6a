#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A repeater from the published protocol, on two free ports of 127.0.0.1: a viewer is greeted
// with "RFB 000.000\n"; each side then sends a 250-byte block "ID:<digits>" padded with zero
// bytes; a viewer and a server with equal blocks are joined byte for byte.
class TestRepeater {
public:
    TestRepeater();
    ~TestRepeater();
    TestRepeater(const TestRepeater&) = delete;
    TestRepeater& operator=(const TestRepeater&) = delete;

    int ViewerPort() const { return viewerPort_; }
    int ServerPort() const { return serverPort_; }
    // The IDs viewers asked for, in the order they came ("ID:123456").
    std::vector<std::string> ViewerIds() const;
    // Servers waiting for a viewer, by ID.
    int ServersWaiting() const;

private:
    void Accept(int listener, bool viewer);
    void Handle(int fd, bool viewer);
    void Pump(int from, int to);
    void Spawn(void (TestRepeater::*run)(int, int), int a, int b);

    int viewerListener_ = -1;
    int serverListener_ = -1;
    int viewerPort_ = 0;
    int serverPort_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> viewerIds_;
    // Each side waiting for its partner, by ID: viewers and servers apart.
    std::map<std::string, int> waitingViewers_;
    std::map<std::string, int> waitingServers_;
    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
};
