// Loading and saving a book of 100,000 clients, as the window's start and close do, against
// one buffered read and one buffered write of the same bytes.
#include "app/ListBox.h"
#include "core/ListFile.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

struct Book {
    Book() {
        dir = std::filesystem::temp_directory_path() / "mbv-bench-lists";
        std::filesystem::create_directories(dir);
        std::string names;
        std::string ids;
        for (int i = 0; i < 100000; ++i) {
            names += "Client number " + std::to_string(i) + " Ltd\r\n";
            ids += std::to_string(100000 + i) + "\r\n";
        }
        Write("clientlist.txt", names);
        Write("clientIDlist.txt", ids);
    }
    ~Book() { std::filesystem::remove_all(dir); }
    void Write(const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    std::string Path(const char* name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

Book& TheBook() {
    static Book book;
    return book;
}

// Into empty lists, as at start-up; making and dropping the lists is not timed.
void LoadTwoLists(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto names = std::make_unique<ListBox>();
        auto ids = std::make_unique<ListBox>();
        state.ResumeTiming();
        names->SetItems(listfile::Load(TheBook().Path("clientlist.txt")));
        ids->SetItems(listfile::Load(TheBook().Path("clientIDlist.txt")));
        benchmark::DoNotOptimize(names->Count() + ids->Count());
        state.PauseTiming();
        names.reset();
        ids.reset();
        state.ResumeTiming();
    }
}

void ReadTwoFilesBuffered(benchmark::State& state) {
    for (auto _ : state) {
        for (const char* name : {"clientlist.txt", "clientIDlist.txt"}) {
            std::ifstream in(TheBook().Path(name), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            benchmark::DoNotOptimize(bytes.str().size());
        }
    }
}

void SaveTwoLists(benchmark::State& state) {
    ListBox names;
    ListBox ids;
    names.SetItems(listfile::Load(TheBook().Path("clientlist.txt")));
    ids.SetItems(listfile::Load(TheBook().Path("clientIDlist.txt")));
    for (auto _ : state) {
        listfile::Save(TheBook().Path("clientlist.txt"), names.Items());
        listfile::Save(TheBook().Path("clientIDlist.txt"), ids.Items());
    }
}

void WriteTwoFilesBuffered(benchmark::State& state) {
    std::string bytes[2];
    int i = 0;
    for (const char* name : {"clientlist.txt", "clientIDlist.txt"}) {
        std::ifstream in(TheBook().Path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        bytes[i++] = s.str();
    }
    for (auto _ : state) {
        std::ofstream(TheBook().Path("copy1.txt"), std::ios::binary) << bytes[0];
        std::ofstream(TheBook().Path("copy2.txt"), std::ios::binary) << bytes[1];
    }
}

BENCHMARK(LoadTwoLists)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(ReadTwoFilesBuffered)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(SaveTwoLists)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(WriteTwoFilesBuffered)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace
