#include "net/IdIPWatch.h"
#include "base/Exception.h"
#include "net/IdException.h"
#include "support/FakeWinsock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

// Every watch here shares one stack over the scripted library.
class Watch : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFakeWinsock();
        MainThreadCalls::Instance().BindToCurrentThread();
        ASSERT_EQ(TIdComponent::SharedStack, nullptr);
        TIdComponent::SharedStack = new TIdStackWinsock(FakeLibrary());
        dir = fs::temp_directory_path() /
              ("watch-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        watch.reset();
        EXPECT_EQ(TIdComponent::SharedStack, nullptr);
        EXPECT_EQ(TIdComponent::StackUserCount, 0);
        fs::remove_all(dir);
    }

    TIdIPWatch& Make() {
        watch = std::make_unique<TIdIPWatch>();
        watch->SetHistoryFilename((dir / "iphist.dat").string());
        return *watch;
    }

    std::string History() const {
        std::ifstream in(dir / "iphist.dat", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    std::unique_ptr<TIdIPWatch> watch;
};

// Outcomes handed out one per poll, on the polling thread; the last one repeats.
class Script {
public:
    explicit Script(std::vector<TIdPollOutcome> outcomes) : outcomes_(std::move(outcomes)) {}
    TIdPollOutcome Next() {
        std::lock_guard lock(mutex_);
        ++polls_;
        const TIdPollOutcome outcome = outcomes_[std::min(next_, outcomes_.size() - 1)];
        ++next_;
        return outcome;
    }
    size_t Polls() {
        std::lock_guard lock(mutex_);
        return polls_;
    }

private:
    std::mutex mutex_;
    std::vector<TIdPollOutcome> outcomes_;
    size_t next_ = 0;
    size_t polls_ = 0;
};

} // namespace

TEST_F(Watch, StartsInactiveOfflineWithItsDefaults) {
    TIdIPWatch& w = Make();
    EXPECT_FALSE(w.Active());
    EXPECT_FALSE(w.Online());
    EXPECT_TRUE(w.HistoryEnabled());
    EXPECT_EQ(w.MaxHistoryEntries(), 25);
    EXPECT_EQ(w.WatchInterval(), 1000u);
    EXPECT_EQ(w.PollThread(), nullptr);
    EXPECT_EQ(TIdIPWatch().HistoryFilename(), "iphist.dat");
    EXPECT_EQ(TIdComponent::StackUserCount, 1);
}

TEST_F(Watch, OnlineAndOfflineSequencesFillTheHistoryAndTheFile) {
    TIdIPWatch& w = Make();
    int changes = 0;
    w.OnStatusChanged = [&](TIdIPWatch&) { ++changes; };
    w.PollStatus("10.0.0.5");
    EXPECT_TRUE(w.Online());
    EXPECT_EQ(changes, 1);
    w.PollStatus("10.0.0.5");
    EXPECT_EQ(changes, 1);
    w.PollStatus("127.0.0.1");
    EXPECT_FALSE(w.Online());
    EXPECT_EQ(w.PreviousAddress(), "10.0.0.5");
    // A failed look-up changes nothing.
    w.PollStatus(std::nullopt);
    EXPECT_EQ(w.CurrentAddress(), "127.0.0.1");
    w.PollStatus("10.0.0.5");
    w.PollStatus("");
    EXPECT_EQ(w.AddressHistory(), Strings{"10.0.0.5"});
    w.PollStatus("10.0.0.7");
    w.PollStatus("127.0.0.1");
    EXPECT_EQ(w.PreviousAddress(), "10.0.0.7");
    EXPECT_EQ(w.AddressHistory(), (Strings{"10.0.0.5", "10.0.0.7"}));
    EXPECT_EQ(changes, 6);
    watch.reset();
    EXPECT_EQ(History(), "10.0.0.5\r\n10.0.0.7\r\n");
}

TEST_F(Watch, OnlineToTheEndWritesItsAddressAndOfflineWritesNothing) {
    Make().PollStatus("192.0.2.4");
    watch.reset();
    EXPECT_EQ(History(), "192.0.2.4\r\n");

    TIdIPWatch& offline = Make();
    int changes = 0;
    offline.OnStatusChanged = [&](TIdIPWatch&) { ++changes; };
    offline.PollStatus("127.0.0.1");
    offline.PollStatus("127.0.0.1");
    watch.reset();
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(fs::exists(dir / "iphist.dat"));
    EXPECT_EQ(History(), "");
}

TEST_F(Watch, HistoryRules) {
    TIdIPWatch& w = Make();
    w.AddToHistory("");
    w.AddToHistory("127.0.0.1");
    w.AddToHistory("10.0.0.1");
    w.AddToHistory("10.0.0.1");
    EXPECT_EQ(w.AddressHistory(), Strings{"10.0.0.1"});
    for (int i = 2; i <= 26; ++i) {
        w.AddToHistory("10.0.0." + std::to_string(i));
    }
    EXPECT_EQ(w.AddressHistory().size(), 25u);
    EXPECT_EQ(w.AddressHistory().front(), "10.0.0.2");
    w.SetMaxHistoryEntries(3);
    EXPECT_EQ(w.AddressHistory(), (Strings{"10.0.0.24", "10.0.0.25", "10.0.0.26"}));
    w.AddToHistory("10.0.0.27");
    EXPECT_EQ(w.AddressHistory().front(), "10.0.0.25");

    // Without history nothing is written and an old file keeps its content.
    std::ofstream(dir / "iphist.dat") << "old";
    w.SetHistoryEnabled(false);
    watch.reset();
    EXPECT_EQ(History(), "old");
}

TEST_F(Watch, AnUnwritableHistoryDoesNotStopTheEnd) {
    TIdIPWatch& w = Make();
    w.PollStatus("10.0.0.5");
    fs::create_directory(dir / "iphist.dat");
    EXPECT_THROW(w.SaveHistory(), EFCreateError);
    w.SetActive(true);
    EXPECT_NO_THROW(watch.reset());
}

TEST_F(Watch, QueryLocalAddressAsksTheStackAndChangesNothing) {
    TIdIPWatch& w = Make();
    FakeState().addresses = {"10.4.4.4", "10.5.5.5"};
    EXPECT_EQ(w.QueryLocalAddress(), "10.4.4.4");
    EXPECT_EQ(w.CurrentAddress(), "");
    EXPECT_FALSE(w.Online());
    EXPECT_FALSE(w.QueryBusy());

    // A poll that comes in while the query runs does nothing.
    static TIdIPWatch* busy = nullptr;
    busy = &w;
    FakeState().duringLookUp = [] {
        EXPECT_TRUE(busy->QueryBusy());
        busy->PollStatus("10.6.6.6");
    };
    w.QueryLocalAddress();
    EXPECT_EQ(w.CurrentAddress(), "");
    FakeState().duringLookUp = nullptr;

    FakeState().lookUpError = 11001;
    EXPECT_THROW(w.QueryLocalAddress(), EIdSocketError);
    EXPECT_FALSE(w.QueryBusy());
}

TEST_F(Watch, PollsRunOnTheMainThreadInOrder) {
    TIdIPWatch& w = Make();
    Script script({"127.0.0.1", "10.0.0.5", "10.0.0.5", "127.0.0.1", "10.0.0.7"});
    std::vector<std::thread::id> threads;
    w.OnStatusChanged = [&](TIdIPWatch&) { threads.push_back(std::this_thread::get_id()); };
    w.SetResolver([&] { return script.Next(); });
    w.SetWatchInterval(20);
    w.SetActive(true);
    const TIdIPWatchThread* thread = w.PollThread();
    w.SetActive(true);
    EXPECT_EQ(w.PollThread(), thread);
    ASSERT_TRUE(MainThreadCalls::Instance().RunPendingUntil(
        [&] { return w.AddressHistory().size() == 1 && w.Online(); }, std::chrono::seconds(10)));
    EXPECT_EQ(w.AddressHistory(), Strings{"10.0.0.5"});
    EXPECT_EQ(w.CurrentAddress(), "10.0.0.7");
    ASSERT_EQ(threads.size(), 3u);
    for (const auto id : threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
    w.SetActive(false);
    EXPECT_EQ(w.PollThread(), nullptr);
    const size_t polls = script.Polls();
    w.SetActive(false);
    MainThreadCalls::Instance().RunPendingUntil([] { return false; },
                                                std::chrono::milliseconds(100));
    EXPECT_EQ(script.Polls(), polls);
}

TEST_F(Watch, StoppingServesThePollThatIsWaiting) {
    TIdIPWatch& w = Make();
    Script script({"10.0.0.9"});
    w.SetResolver([&] { return script.Next(); });
    w.SetWatchInterval(10);
    w.SetActive(true);
    // Let the thread hand over a poll, and do not run it: the stop must.
    while (script.Polls() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    w.SetActive(false);
    EXPECT_EQ(w.CurrentAddress(), "10.0.0.9");
    EXPECT_TRUE(w.Online());
}

TEST_F(Watch, TheIntervalReachesTheRunningThread) {
    TIdIPWatch& w = Make();
    w.SetResolver([] { return TIdPollOutcome("10.0.0.1"); });
    w.SetActive(true);
    w.SetWatchInterval(1200);
    EXPECT_EQ(w.PollThread()->PollInterval.load(), 1200);
    // An interval that allows no sleep neither spins nor polls.
    w.SetWatchInterval(0);
    w.SetActive(false);
    w.SetActive(true);
    EXPECT_EQ(w.PollThread()->PollInterval.load(), 0);
    MainThreadCalls::Instance().RunPendingUntil([] { return false; },
                                                std::chrono::milliseconds(200));
    EXPECT_FALSE(w.Online());
}

namespace {

class Failing final : public TIdThread {
public:
    Failing() : TIdThread(true) { Launch(); }
    ~Failing() override { StopAndWait(); }
    std::atomic<int> afterLoops{0};

protected:
    void LoopStep() override { throw EIdException("step failed"); }
    void AfterLoop() override { ++afterLoops; }
};

} // namespace

TEST(IdThread, AFailureEndsTheThreadAndIsKept) {
    MainThreadCalls::Instance().BindToCurrentThread();
    Failing thread;
    std::atomic<bool> reported{false};
    thread.OnThreadFailure = [&](TIdThread&, const Exception& e) {
        reported = std::string(e.what()) == "step failed";
    };
    EXPECT_TRUE(thread.IsHalted());
    thread.StartLoop();
    ASSERT_TRUE(MainThreadCalls::Instance().RunPendingUntil([&] { return thread.Terminated(); },
                                                            std::chrono::seconds(10)));
    thread.StopAndWait();
    EXPECT_TRUE(reported);
    EXPECT_EQ(thread.FailureMessage(), "step failed");
    EXPECT_EQ(thread.afterLoops, 1);
}

TEST(IdThread, AThreadNeverStartedStillStops) {
    MainThreadCalls::Instance().BindToCurrentThread();
    Failing thread;
    thread.StopAndWait();
    EXPECT_TRUE(thread.Terminated());
    EXPECT_EQ(thread.FailureMessage(), "");
}

TEST(IdComponent, ProgressRecordsNest) {
    ResetFakeWinsock();
    TIdComponent::SharedStack = new TIdStackWinsock(FakeLibrary());
    {
        TIdComponent component;
        std::vector<std::string> events;
        component.OnProgressBegin = [&](TIdComponent&, TWorkMode, int32_t size) {
            events.push_back("begin " + std::to_string(size));
        };
        component.OnProgress = [&](TIdComponent&, TWorkMode, int32_t total) {
            events.push_back("at " + std::to_string(total));
        };
        component.OnProgressEnd = [&](TIdComponent&, TWorkMode) { events.push_back("end"); };
        component.AdvanceProgress(TWorkMode::wmRead, 5);
        component.BeginProgress(TWorkMode::wmRead, 100);
        component.BeginProgress(TWorkMode::wmRead, 7);
        component.AdvanceProgress(TWorkMode::wmRead, 10);
        component.AdvanceProgress(TWorkMode::wmRead, 15);
        component.EndProgress(TWorkMode::wmRead);
        component.EndProgress(TWorkMode::wmRead);
        EXPECT_EQ(events, (Strings{"begin 100", "at 10", "at 25", "end"}));
        EXPECT_EQ(component.ProgressOf(TWorkMode::wmRead).size, 100);
        EXPECT_EQ(component.ProgressOf(TWorkMode::wmWrite).nesting, 0);
    }
    EXPECT_EQ(TIdComponent::SharedStack, nullptr);
}
