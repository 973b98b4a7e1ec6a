#pragma once

#include "net/IdComponent.h"
#include "net/IdThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TIdIPWatch;

// What one poll's look-up found: the address, or nothing when the look-up failed.
using TIdPollOutcome = std::optional<std::string>;

// Looks up this machine's first local address on the polling thread.
using TIdLocalAddressResolver = std::function<TIdPollOutcome()>;

// The polling thread: sleeps in slices of at most 500 ms and after each slice looks the
// address up and hands the outcome to the watch on the main thread.
class TIdIPWatchThread final : public TIdThread {
public:
    TIdIPWatchThread(TIdIPWatch& watch, TIdLocalAddressResolver resolver, int32_t interval);
    ~TIdIPWatchThread() override;

    std::atomic<int32_t> PollInterval;

protected:
    void LoopStep() override;

private:
    TIdIPWatch& watch_;
    TIdLocalAddressResolver resolver_;
};

// Finds this machine's local IPv4 address, watches it while active, follows it going online
// and offline, keeps a short history and writes it to a file when destroyed. All its state
// lives on the main thread.
class TIdIPWatch final : public TIdComponent {
public:
    TIdIPWatch();
    ~TIdIPWatch() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool HistoryEnabled() const { return historyEnabled_; }
    void SetHistoryEnabled(bool value) { historyEnabled_ = value; }
    const std::string& HistoryFilename() const { return historyFilename_; }
    void SetHistoryFilename(std::string value) { historyFilename_ = std::move(value); }
    int32_t MaxHistoryEntries() const { return maxHistoryEntries_; }
    void SetMaxHistoryEntries(int32_t value);
    uint32_t WatchInterval() const { return watchInterval_; }
    void SetWatchInterval(uint32_t value);
    std::function<void(TIdIPWatch&)> OnStatusChanged;

    const std::string& CurrentAddress() const { return currentAddress_; }
    const std::string& PreviousAddress() const { return previousAddress_; }
    bool Online() const { return online_; }
    bool QueryBusy() const { return queryBusy_; }
    const std::vector<std::string>& AddressHistory() const { return addressHistory_; }

    // The stack's first local address, as it is now; changes nothing of the watch.
    std::string QueryLocalAddress();
    // One poll, on the main thread, with what the polling thread's look-up found.
    void PollStatus(const TIdPollOutcome& outcome);
    void AddToHistory(const std::string& address);
    // Writes the history file; EFCreateError "Cannot create file <name>" when it cannot.
    void SaveHistory();

    // How polls look the address up; set before activation (tests script it).
    void SetResolver(TIdLocalAddressResolver resolver) { resolver_ = std::move(resolver); }
    // The platform's thread-safe look-up of the first local address.
    static TIdPollOutcome LookUpLocalAddress();

    const TIdIPWatchThread* PollThread() const { return pollThread_.get(); }

private:
    bool active_ = false;
    std::string currentAddress_;
    bool historyEnabled_ = true;
    std::string historyFilename_ = "iphist.dat";
    std::vector<std::string> addressHistory_;
    bool online_ = false;
    bool queryBusy_ = false;
    int32_t maxHistoryEntries_ = 25;
    std::string previousAddress_;
    std::unique_ptr<TIdIPWatchThread> pollThread_;
    uint32_t watchInterval_ = 1000;
    TIdLocalAddressResolver resolver_ = LookUpLocalAddress;
};
