// The window's close with a book of 100,000 clients: the two lists and the settings written,
// with no setting changed and with one changed; and a close that first merges 100 clients
// another copy added meanwhile.
#include "BenchBook.h"
#include "app/Unit1.h"
#include "core/Commit.h"
#include "platform/Files.h"

#include <QComboBox>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

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
    const std::string namesPath = (folder.dir / "clientlist.txt").string();
    const std::string idsPath = (folder.dir / "clientIDlist.txt").string();
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The other copy read the book as the last close left it.
        std::string names = *platform::ReadWholeFile(namesPath);
        std::string ids = *platform::ReadWholeFile(idsPath);
        for (int i = 0; i < 100; ++i, ++added) {
            names += "Added by another copy " + std::to_string(added) + "\r\n";
            ids += std::to_string(900000 + added) + "\r\n";
        }
        core::CommitFiles(folder.dir.string() + "/",
                          {{namesPath, names, platform::NewFileMode::Shared,
                            platform::ExistingFileMode::Keep, "names"},
                           {idsPath, ids, platform::NewFileMode::Shared,
                            platform::ExistingFileMode::Keep, "ids"}});
        state.ResumeTiming();
        form.FormClose();
    }
}

BENCHMARK(FormCloseMerging)->Unit(benchmark::kMillisecond)->MinTime(3);

BENCHMARK(FormClose)
    ->ArgName("setting changed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

} // namespace
