#include "net/IdIPWatch.h"

#include "base/Exception.h"
#include "platform/Files.h"
#include "platform/TextLines.h"

#include <algorithm>

namespace {

const std::string Loopback = "127.0.0.1";

} // namespace

TIdIPWatchThread::TIdIPWatchThread(TIdIPWatch& watch, TIdLocalAddressResolver resolver,
                                   int32_t interval)
    : TIdThread(true), PollInterval(interval), watch_(watch), resolver_(std::move(resolver)) {
    Launch();
}

TIdIPWatchThread::~TIdIPWatchThread() {
    StopAndWait();
}

void TIdIPWatchThread::LoopStep() {
    int32_t remaining = PollInterval;
    if (remaining <= 0) {
        // An interval that allows no sleep would spin the processor: idle a slice instead.
        SleepUnlessTerminated(std::chrono::milliseconds(500));
        return;
    }
    while (remaining > 0) {
        const int32_t slice = std::min<int32_t>(remaining, 500);
        SleepUnlessTerminated(std::chrono::milliseconds(slice));
        remaining -= slice;
        if (Terminated()) {
            return;
        }
        // The look-up may block for seconds when a name server does not answer: it runs here,
        // and only its outcome goes to the main thread, which never waits on it.
        const TIdPollOutcome outcome = resolver_();
        MainThreadCalls::Instance().Run([&] { watch_.PollStatus(outcome); });
    }
}

TIdIPWatch::TIdIPWatch() = default;

TIdIPWatch::~TIdIPWatch() {
    if (online_) {
        AddToHistory(currentAddress_);
    }
    SetActive(false);
    try {
        SaveHistory();
    } catch (const Exception&) {
        // The program is ending and its window is gone: an unwritable history is let go rather
        // than stopping the exit.
    }
}

TIdPollOutcome TIdIPWatch::LookUpLocalAddress() {
    std::string address;
    if (!LookUpFirstLocalAddress(address)) {
        return std::nullopt;
    }
    return address;
}

void TIdIPWatch::SetActive(bool value) {
    if (value == active_) {
        return;
    }
    active_ = value;
    if (value) {
        pollThread_ = std::make_unique<TIdIPWatchThread>(*this, resolver_,
                                                         static_cast<int32_t>(watchInterval_));
        pollThread_->StartLoop();
    } else {
        pollThread_->StopAndWait();
        pollThread_.reset();
    }
}

void TIdIPWatch::SetMaxHistoryEntries(int32_t value) {
    maxHistoryEntries_ = value;
    const size_t keep = static_cast<size_t>(std::max<int32_t>(value, 0));
    if (addressHistory_.size() > keep) {
        addressHistory_.erase(addressHistory_.begin(),
                              addressHistory_.end() - static_cast<std::ptrdiff_t>(keep));
    }
}

void TIdIPWatch::SetWatchInterval(uint32_t value) {
    if (value == watchInterval_) {
        return;
    }
    watchInterval_ = value;
    if (pollThread_) {
        pollThread_->PollInterval = static_cast<int32_t>(value);
    }
}

std::string TIdIPWatch::QueryLocalAddress() {
    queryBusy_ = true;
    try {
        std::string address = SharedStack->FirstLocalAddress();
        queryBusy_ = false;
        return address;
    } catch (...) {
        queryBusy_ = false;
        throw;
    }
}

void TIdIPWatch::PollStatus(const TIdPollOutcome& outcome) {
    if (queryBusy_ || !outcome) {
        // A failed look-up changes nothing.
        return;
    }
    const bool wasOnline = online_;
    const std::string previous = currentAddress_;
    currentAddress_ = *outcome;
    online_ = currentAddress_ != Loopback && !currentAddress_.empty();
    if (wasOnline && !online_) {
        previousAddress_ = previous;
        AddToHistory(previousAddress_);
    }
    if (online_ != wasOnline && OnStatusChanged) {
        try {
            OnStatusChanged(*this);
        } catch (...) {
            // A poll never reports a failure.
        }
    }
}

void TIdIPWatch::AddToHistory(const std::string& address) {
    if (address.empty() || address == Loopback) {
        return;
    }
    if (!addressHistory_.empty() && addressHistory_.back() == address) {
        return;
    }
    addressHistory_.push_back(address);
    if (static_cast<int64_t>(addressHistory_.size()) > maxHistoryEntries_) {
        addressHistory_.erase(addressHistory_.begin());
    }
}

void TIdIPWatch::SaveHistory() {
    if (!historyEnabled_) {
        return;
    }
    if (!platform::WriteFileAtomically(historyFilename_, platform::JoinLines(addressHistory_),
                                       platform::NewFileMode::Shared)) {
        throw EFCreateError("Cannot create file " + historyFilename_);
    }
}
