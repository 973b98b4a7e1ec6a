#pragma once

#include "net/IdWinsock.h"

#include <arpa/inet.h>

#include <string>
#include <vector>

// A socket library whose host name and address look-up are scripted, and that counts the
// calls the tests care about.
struct FakeWinsockState {
    bool loads = true;
    int startupResult = 0;
    std::string hostName = "fakehost";
    std::vector<std::string> addresses = {"10.0.0.5"};
    int lookUpError = 0; // the look-up fails with this code when set
    int lastErrorReads = 0;
    int selectCalls = 0;
    int loadCount = 0;
    int unloadCount = 0;
    // Runs during the look-up, on the caller's thread.
    void (*duringLookUp)() = nullptr;
};

inline FakeWinsockState& FakeState() {
    static FakeWinsockState state;
    return state;
}

class FakeWinsockLibrary final : public WinsockLibrary {
public:
    const char* Name() const override { return "fake.dll"; }

    bool Load(WinsockTable& table) override {
        ++FakeState().loadCount;
        if (!FakeState().loads) {
            return false;
        }
        table = WinsockTable{};
        table.WSAStartup = [](uint16_t, TWSAData* data) {
            *data = TWSAData{};
            return FakeState().startupResult;
        };
        table.WSACleanup = [] { return 0; };
        table.WSACancelBlockingCall = [] { return 0; };
        table.WSAGetLastError = [] {
            ++FakeState().lastErrorReads;
            return FakeState().lookUpError;
        };
        table.gethostname = [](char* name, int length) {
            FakeState().hostName.copy(name, static_cast<size_t>(length) - 1);
            return 0;
        };
        table.gethostbyname = [](const char*) -> hostent* {
            static hostent entry;
            static std::vector<in_addr> bytes;
            static std::vector<char*> list;
            if (FakeState().duringLookUp) {
                FakeState().duringLookUp();
            }
            if (FakeState().lookUpError != 0) {
                return nullptr;
            }
            bytes.clear();
            for (const auto& text : FakeState().addresses) {
                in_addr address{};
                ::inet_pton(AF_INET, text.c_str(), &address);
                bytes.push_back(address);
            }
            list.clear();
            for (auto& address : bytes) {
                list.push_back(reinterpret_cast<char*>(&address));
            }
            list.push_back(nullptr);
            entry = hostent{};
            entry.h_addrtype = AF_INET;
            entry.h_length = 4;
            entry.h_addr_list = list.data();
            return &entry;
        };
        table.select = [](int, TFdSet*, TFdSet*, TFdSet*, const timeval*) {
            ++FakeState().selectCalls;
            return 0;
        };
        return true;
    }

    void Unload() override { ++FakeState().unloadCount; }
};

inline FakeWinsockLibrary& FakeLibrary() {
    static FakeWinsockLibrary library;
    return library;
}

// Starts every test from the same script.
inline void ResetFakeWinsock() {
    FakeState() = FakeWinsockState{};
}
