// The address watch: how long the window's thread is busy with one poll while the look-up takes
// two seconds; the first local address against a bare look-up; and how long a stop takes.
#include "net/IdIPWatch.h"

#include <benchmark/benchmark.h>

#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

void FirstLocalAddress(benchmark::State& state) {
    TIdStackWinsock stack;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stack.FirstLocalAddress());
    }
}

void BareHostNameLookUp(benchmark::State& state) {
    for (auto _ : state) {
        char name[250] = {};
        gethostname(name, sizeof name - 1);
        benchmark::DoNotOptimize(gethostbyname(name));
    }
}

BENCHMARK(FirstLocalAddress)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BareHostNameLookUp)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The window's thread runs the handed-over polls; the slow look-ups run on the polling thread.
void SlowResolver() {
    TIdIPWatch watch;
    watch.SetHistoryEnabled(false);
    int polls = 0;
    watch.SetResolver([] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return TIdPollOutcome("192.0.2.7");
    });
    watch.OnStatusChanged = [&](TIdIPWatch&) {};
    watch.SetWatchInterval(10);
    watch.SetActive(true);
    Clock::duration longest{};
    const auto end = Clock::now() + std::chrono::milliseconds(6500);
    std::string last;
    while (Clock::now() < end) {
        const auto start = Clock::now();
        MainThreadCalls::Instance().RunPending();
        longest = std::max(longest, Clock::now() - start);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (watch.CurrentAddress() != last || !watch.CurrentAddress().empty()) {
            polls += watch.CurrentAddress() != last;
            last = watch.CurrentAddress();
        }
    }
    watch.SetActive(false);
    std::printf("2 s look-ups: the window's thread was busy at most %.3f ms at a time\n",
                Milliseconds(longest));
}

void Stops() {
    Clock::duration longest{};
    for (int i = 0; i < 20; ++i) {
        TIdIPWatch watch;
        watch.SetHistoryEnabled(false);
        watch.SetResolver([] { return TIdPollOutcome("192.0.2.7"); });
        watch.SetActive(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 37 * i % 500));
        const auto start = Clock::now();
        watch.SetActive(false);
        longest = std::max(longest, Clock::now() - start);
    }
    std::printf("stop: from Active false to the thread's end at most %.3f ms in 20 runs\n",
                Milliseconds(longest));
}

} // namespace

int main(int argc, char** argv) {
    MainThreadCalls::Instance().BindToCurrentThread();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    SlowResolver();
    Stops();
    return 0;
}
