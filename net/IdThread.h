#pragma once

#include "base/Exception.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Calls that worker threads hand to the main thread. A worker queues a call, wakes the main
// thread and waits until the call has run; the main thread runs queued calls from its event
// loop and while it waits for a worker to end, so the two never wait on each other.
class MainThreadCalls {
public:
    static MainThreadCalls& Instance();

    // Makes the calling thread the main thread; wake asks its event loop to call RunPending
    // soon (it may be called from any thread). Without one, the main thread runs the calls
    // only when it runs RunPending or waits.
    void BindToCurrentThread(std::function<void()> wake = {});

    // Runs the call on the main thread and returns once it has run; on the main thread it
    // runs at once. An exception of the call comes back to the caller.
    void Run(const std::function<void()>& call);

    // Main thread: runs every queued call.
    void RunPending();

    // Main thread: runs queued calls until the condition holds (checked whenever a call ran or
    // Notify was called) or the time is up. Returns the condition.
    bool RunPendingUntil(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout = std::chrono::hours(24));

    // Any thread: wakes a main thread that waits in RunPendingUntil.
    void Notify();

    bool IsMainThread() const;

private:
    struct Pending {
        const std::function<void()>* call;
        bool done = false;
        std::exception_ptr error;
    };

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Pending*> queue_;
    std::thread::id main_;
    std::function<void()> wake_;
};

// A thread with a halt-and-resume loop: BeforeLoop, then LoopStep while not halted, then
// AfterLoop. A failure of the program's own kind ends the thread and is kept in
// FailureMessage.
class TIdThread {
public:
    using FailureEvent = std::function<void(TIdThread&, const Exception&)>;

    explicit TIdThread(bool createHalted);
    virtual ~TIdThread();
    TIdThread(const TIdThread&) = delete;
    TIdThread& operator=(const TIdThread&) = delete;

    bool IsHalted() const { return terminated_ || halted_; }
    bool Terminated() const { return terminated_; }
    // Resumes a halted thread.
    void StartLoop();
    // Requests termination and waits for the thread's end, running the calls it hands to the
    // main thread meanwhile.
    void StopAndWait();

    std::string FailureMessage() const;
    FailureEvent OnThreadFailure;

protected:
    virtual void LoopStep() = 0;
    virtual void BeforeLoop() {}
    virtual void AfterLoop() {}

    // Sleeps up to the given time; returns early once termination is requested.
    void SleepUnlessTerminated(std::chrono::milliseconds time);
    // Derived classes start the thread at the end of their constructor, once they are whole.
    void Launch();

private:
    void Execute();
    void Terminate();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> halted_;
    std::atomic<bool> ended_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string failureMessage_;
    std::thread thread_;
};
