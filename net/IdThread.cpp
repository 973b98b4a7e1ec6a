#include "net/IdThread.h"

MainThreadCalls& MainThreadCalls::Instance() {
    static MainThreadCalls instance;
    return instance;
}

void MainThreadCalls::BindToCurrentThread(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    main_ = std::this_thread::get_id();
    wake_ = std::move(wake);
}

bool MainThreadCalls::IsMainThread() const {
    std::lock_guard lock(mutex_);
    return main_ == std::this_thread::get_id();
}

void MainThreadCalls::Run(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    Pending pending{&call, false, nullptr};
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&pending);
        wake = wake_;
    }
    changed_.notify_all();
    if (wake) {
        wake();
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending.done; });
    if (pending.error) {
        std::rethrow_exception(pending.error);
    }
}

void MainThreadCalls::RunPending() {
    for (;;) {
        Pending* pending;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            pending = queue_.front();
            queue_.pop_front();
        }
        std::exception_ptr error;
        try {
            (*pending->call)();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            pending->error = error;
            pending->done = true;
        }
        changed_.notify_all();
    }
}

bool MainThreadCalls::RunPendingUntil(const std::function<bool()>& condition,
                                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        std::unique_lock lock(mutex_);
        // The condition is checked under the lock, so a Notify cannot slip in unseen.
        const bool met =
            changed_.wait_until(lock, deadline, [&] { return !queue_.empty() || condition(); });
        if (queue_.empty()) {
            return met;
        }
    }
}

void MainThreadCalls::Notify() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

TIdThread::TIdThread(bool createHalted) : halted_(createHalted) {}

TIdThread::~TIdThread() {
    if (thread_.joinable()) {
        StopAndWait();
    }
}

void TIdThread::Launch() {
    thread_ = std::thread([this] { Execute(); });
}

void TIdThread::Terminate() {
    terminated_ = true;
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

void TIdThread::StartLoop() {
    if (IsHalted()) {
        {
            std::lock_guard lock(mutex_);
            halted_ = false;
        }
        wake_.notify_all();
    }
}

void TIdThread::StopAndWait() {
    // A thread that was never started is woken too, so that it sees the request and ends.
    Terminate();
    halted_ = true;
    wake_.notify_all();
    MainThreadCalls::Instance().RunPendingUntil([this] { return ended_.load(); });
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string TIdThread::FailureMessage() const {
    std::lock_guard lock(mutex_);
    return failureMessage_;
}

void TIdThread::SleepUnlessTerminated(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, time, [this] { return terminated_.load(); });
}

void TIdThread::Execute() {
    while (!terminated_) {
        if (IsHalted()) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return terminated_ || !halted_; });
            lock.unlock();
            if (terminated_) {
                AfterLoop();
                break;
            }
        }
        try {
            try {
                BeforeLoop();
                while (!IsHalted()) {
                    LoopStep();
                }
            } catch (...) {
                AfterLoop();
                throw;
            }
            AfterLoop();
        } catch (const Exception& failure) {
            {
                std::lock_guard lock(mutex_);
                failureMessage_ = failure.what();
            }
            if (OnThreadFailure) {
                OnThreadFailure(*this, failure);
            }
            Terminate();
        } catch (...) {
            // Nothing else may leave a thread: it would end the program.
            Terminate();
        }
    }
    ended_ = true;
    MainThreadCalls::Instance().Notify();
}
