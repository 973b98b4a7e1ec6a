// The window's close with a book of 100,000 clients: the two lists and the settings written,
// with no setting changed and with one changed; and a close that first merges 100 clients
// another copy added meanwhile. Each against its floor, timed alternately in one run: a durable
// write of the same three files (written, flushed to disk and renamed into place, then the
// folder flushed), which no close that survives a power cut can beat.
#include "BenchBook.h"
#include "Spread.h"
#include "app/Unit1.h"
#include "core/Commit.h"
#include "platform/Files.h"

#include <QComboBox>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct Folder {
    Folder() {
        dir = WriteBook("mbv-bench-close", 100000);
        std::ofstream(dir / "myviewer.ini", std::ios::binary)
            << "[quality]\r\nsetting=3\r\nauto=1\r\n[repeater]\r\nlan=1\r\naddress=0\r\n"
               "address2=\r\n[password]\r\nvalue=\r\nstore=0\r\n[port]\r\nviewer=5901\r\n"
               "[autoscaling]\r\nsetting=1\r\n[autoreconnect]\r\nsetting=0\r\n";
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
        std::filesystem::current_path(dir);
    }
    ~Folder() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

// Another copy, which read the book as the last close left it, commits 100 clients more.
void AnotherCopyAdds(const Folder& folder, int& added) {
    const std::string namesPath = (folder.dir / "clientlist.txt").string();
    const std::string idsPath = (folder.dir / "clientIDlist.txt").string();
    std::string names = *platform::ReadWholeFile(namesPath);
    std::string ids = *platform::ReadWholeFile(idsPath);
    for (int i = 0; i < 100; ++i, ++added) {
        names += "Added by another copy " + std::to_string(added) + "\r\n";
        ids += std::to_string(900000 + added) + "\r\n";
    }
    core::CommitFiles(folder.dir.string() + "/", {{namesPath, names, platform::NewFileMode::Shared,
                                                   platform::ExistingFileMode::Keep, "names"},
                                                  {idsPath, ids, platform::NewFileMode::Shared,
                                                   platform::ExistingFileMode::Keep, "ids"}});
}

void FormClose(benchmark::State& state) {
    const bool changeSetting = state.range(0) != 0;
    Folder folder;
    TForm1 form;
    form.FormCreate();
    auto* quality = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    int round = 0;
    for (auto _ : state) {
        if (changeSetting) {
            state.PauseTiming();
            quality->setCurrentText(QString::number(3 + (++round % 2)));
            state.ResumeTiming();
        }
        form.FormClose();
    }
}

// Another copy appends 100 clients before each close.
void FormCloseMerging(benchmark::State& state) {
    Folder folder;
    TForm1 form;
    form.FormCreate();
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AnotherCopyAdds(folder, added);
        state.ResumeTiming();
        form.FormClose();
    }
}

// The floor: each file written to a temporary beside it, flushed, renamed over it; then the
// folder flushed so that the renames stand.
void DurableWrite(const std::filesystem::path& dir, const std::vector<std::string>& names,
                  const std::vector<std::string>& bytes) {
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string path = (dir / names[i]).string();
        const std::string temp = path + ".floor";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 ||
            ::write(fd, bytes[i].data(), bytes[i].size()) !=
                static_cast<ssize_t>(bytes[i].size()) ||
            ::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
            std::abort();
        }
    }
    const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(folder);
    ::close(folder);
}

std::vector<std::string> BookFiles(const std::filesystem::path& dir) {
    std::vector<std::string> bytes;
    for (const char* name : {"clientlist.txt", "clientIDlist.txt", "myviewer.ini"}) {
        bytes.push_back(*platform::ReadWholeFile((dir / name).string()));
    }
    return bytes;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The close (merging another copy's 100 adds first, or not) and the durable write of the files
// it leaves, alternately.
void CloseAgainstDurableWrite(benchmark::State& state) {
    const bool merging = state.range(0) != 0;
    Folder folder;
    TForm1 form;
    form.FormCreate();
    form.FormClose();
    // Beside the book, not over it: the close must not take the floor for another copy's work.
    const std::filesystem::path floorDir = folder.dir / "floor";
    std::filesystem::create_directory(floorDir);
    std::vector<double> close;
    std::vector<double> floor;
    int added = 0;
    for (auto _ : state) {
        if (merging) {
            AnotherCopyAdds(folder, added);
        }
        auto start = std::chrono::steady_clock::now();
        form.FormClose();
        close.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        const std::vector<std::string> bytes = BookFiles(folder.dir);
        start = std::chrono::steady_clock::now();
        DurableWrite(floorDir, {"clientlist.txt", "clientIDlist.txt", "myviewer.ini"}, bytes);
        floor.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
    // Medians and spreads of the close, of its floor, and of each pair's ratio: timed back to
    // back, a change of load falls on both.
    Spread(state, "close_ms", close);
    Spread(state, "floor_ms", floor);
    Spread(state, "ratio", Ratios(close, floor));
}

BENCHMARK(CloseAgainstDurableWrite)
    ->ArgName("merging")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(FormCloseMerging)->Unit(benchmark::kMillisecond)->MinTime(3);

BENCHMARK(FormClose)
    ->ArgName("setting changed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

} // namespace
