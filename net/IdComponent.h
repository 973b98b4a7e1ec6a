#pragma once

#include "net/IdStack.h"

#include <cstdint>
#include <functional>

enum class TIdStatus {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsText
};
enum class TWorkMode { wmRead = 0, wmWrite = 1 };

// The base of the subsystem's components: they share one socket stack, created by the first
// and destroyed with the last.
class TIdComponent {
public:
    using StatusEvent = std::function<void(TIdComponent&, TIdStatus, const std::string&)>;
    using ProgressEvent = std::function<void(TIdComponent&, TWorkMode, int32_t)>;
    using ProgressEndEvent = std::function<void(TIdComponent&, TWorkMode)>;

    TIdComponent();
    virtual ~TIdComponent();
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    static TIdStack* SharedStack;
    static int32_t StackUserCount;

    virtual void BeginProgress(TWorkMode mode, int32_t size);
    virtual void AdvanceProgress(TWorkMode mode, int32_t amount);
    void EndProgress(TWorkMode mode);

    StatusEvent OnStatus;
    ProgressEvent OnProgress;
    ProgressEvent OnProgressBegin;
    ProgressEndEvent OnProgressEnd;

    struct Progress {
        int32_t total = 0;
        int32_t size = 0;
        int32_t nesting = 0;
    };
    const Progress& ProgressOf(TWorkMode mode) const { return progress_[static_cast<int>(mode)]; }

private:
    Progress progress_[2];
};
