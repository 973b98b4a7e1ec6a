// Loading and saving a book of 100,000 clients and one list file of 200 MB, as the window's
// start and close do, against one buffered read and one buffered write of the same bytes.
#include "BenchBook.h"
#include "app/ListBox.h"
#include "core/Commit.h"
#include "core/ListFile.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

constexpr int BigBook = 0;
constexpr int HugeFile = 1;

struct Book {
    Book() {
        dir = WriteBook("mbv-bench-lists", 100000);
        // 200 MB: four million clients of fifty bytes each, written as they are made, so that
        // the benchmark's peak memory is that of what it measures.
        std::ofstream huge(dir / "huge.txt", std::ios::binary);
        for (size_t size = 0, i = 0; size < (200u << 20); ++i) {
            const std::string row =
                "Client with a long name, number " + std::to_string(i) + " Ltd.\r\n";
            huge << row;
            hugeHash = Hash(hugeHash, row);
            size += row.size();
        }
    }
    ~Book() { std::filesystem::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
    static uint64_t Hash(uint64_t hash, std::string_view bytes) {
        for (const char c : bytes) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        return hash;
    }
    uint64_t hugeHash = 14695981039346656037ull;
    std::string Folder() const { return dir.string() + "/"; }
    std::vector<const char*> Files(int which) const {
        if (which == HugeFile) {
            return {"huge.txt"};
        }
        return {"clientlist.txt", "clientIDlist.txt"};
    }
    std::filesystem::path dir;
};

Book& TheBook() {
    static Book book;
    return book;
}

// Into empty lists, as at start-up; making and dropping the lists is not timed.
void LoadLists(benchmark::State& state) {
    const auto files = TheBook().Files(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<ListBox>> lists;
        for (size_t i = 0; i < files.size(); ++i) {
            lists.push_back(std::make_unique<ListBox>());
        }
        state.ResumeTiming();
        for (size_t i = 0; i < files.size(); ++i) {
            lists[i]->SetItems(core::LoadListFile(TheBook().Path(files[i])).rows);
        }
        benchmark::DoNotOptimize(lists.front()->Count());
        state.PauseTiming();
        lists.clear();
        state.ResumeTiming();
    }
}

void ReadFilesBuffered(benchmark::State& state) {
    const auto files = TheBook().Files(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (const char* name : files) {
            std::ifstream in(TheBook().Path(name), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            benchmark::DoNotOptimize(bytes.str().size());
        }
    }
}

// Written together as one commit, as the close writes them.
void SaveLists(benchmark::State& state) {
    const auto files = TheBook().Files(static_cast<int>(state.range(0)));
    std::vector<ListBox> lists(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        lists[i].SetItems(core::LoadListFile(TheBook().Path(files[i])).rows);
    }
    for (auto _ : state) {
        std::vector<core::FileWrite> writes;
        for (size_t i = 0; i < files.size(); ++i) {
            writes.push_back({TheBook().Path(files[i]), core::ListBytes(lists[i].Items()),
                              platform::NewFileMode::Shared, platform::ExistingFileMode::Keep,
                              "Cannot create file"});
        }
        core::CommitFiles(TheBook().Folder(), writes);
    }
    // The rows went back to the file byte for byte.
    if (files.front() == std::string("huge.txt")) {
        std::ifstream in(TheBook().Path("huge.txt"), std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        if (Book::Hash(14695981039346656037ull, bytes) != TheBook().hugeHash) {
            state.SkipWithError("the 200 MB list came back changed");
        }
    }
}

void WriteFilesBuffered(benchmark::State& state) {
    const auto files = TheBook().Files(static_cast<int>(state.range(0)));
    std::vector<std::string> bytes;
    for (const char* name : files) {
        std::ifstream in(TheBook().Path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        bytes.push_back(s.str());
    }
    for (auto _ : state) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::ofstream(TheBook().Path("copy.txt"), std::ios::binary) << bytes[i];
        }
    }
}

BENCHMARK(LoadLists)->Arg(BigBook)->Arg(HugeFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(ReadFilesBuffered)
    ->Arg(BigBook)
    ->Arg(HugeFile)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(SaveLists)->Arg(BigBook)->Arg(HugeFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(WriteFilesBuffered)
    ->Arg(BigBook)
    ->Arg(HugeFile)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

} // namespace
