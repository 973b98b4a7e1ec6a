// From a click of "Connect To Client" to the viewer's main, against starting the same program
// directly with posix_spawn.
#include "app/ListBox.h"
#include "app/Unit1.h"
#include "platform/Files.h"

#include <QApplication>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Folder {
    Folder() {
        dir = fs::temp_directory_path() / "mbv-bench-launch";
        fs::remove_all(dir);
        fs::create_directories(dir / "Bin");
        fs::copy_file(TIMESTAMP_VIEWER, dir / "Bin" / "vncviewer.exe");
        std::ofstream(dir / "clientlist.txt") << "Acme\r\n";
        std::ofstream(dir / "clientIDlist.txt") << "123456\r\n";
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
    }
    ~Folder() { fs::remove_all(dir); }

    // The moment the viewer reached its main; waits for it (the wait is not timed).
    int64_t Started() const {
        const fs::path file = dir / "started";
        while (!fs::exists(file)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        int64_t when = 0;
        std::ifstream(file) >> when;
        fs::remove(file);
        return when;
    }
    fs::path dir;
};

Folder& TheFolder() {
    static Folder folder;
    return folder;
}

void ClickToViewerMain(benchmark::State& state) {
    TheFolder(); // the program folder, before the window looks for its files
    TForm1 form;
    form.FormCreate();
    // Select the client as the user would, then press the button.
    form.findChild<ListBox*>(QStringLiteral("ListBox1"))->SetItemIndex(0);
    auto* button = form.findChild<QPushButton*>(QStringLiteral("Button2"));
    for (auto _ : state) {
        const int64_t start = Now();
        button->click();
        state.SetIterationTime(static_cast<double>(TheFolder().Started() - start) / 1e9);
    }
}

void PosixSpawnToViewerMain(benchmark::State& state) {
    const std::string viewer = (TheFolder().dir / "Bin" / "vncviewer.exe").string();
    std::vector<std::string> args = {viewer, "-proxy", "127.0.0.1:5901", "ID:123456"};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    for (auto _ : state) {
        const int64_t start = Now();
        pid_t pid = 0;
        posix_spawn(&pid, viewer.c_str(), nullptr, nullptr, argv.data(), environ);
        state.SetIterationTime(static_cast<double>(TheFolder().Started() - start) / 1e9);
        waitpid(pid, nullptr, 0);
    }
}

BENCHMARK(ClickToViewerMain)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1)
    ->Repetitions(40)
    ->ReportAggregatesOnly(true);
BENCHMARK(PosixSpawnToViewerMain)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1)
    ->Repetitions(40)
    ->ReportAggregatesOnly(true);

} // namespace
