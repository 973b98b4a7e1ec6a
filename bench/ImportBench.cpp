// The import preview of a 100,000-row CSV file against a plain read-and-split of the same bytes
// (lines, then fields at the commas), and the most memory the preview holds at once against the
// file's size, counted by the allocator below.
#include "core/Import.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::atomic<size_t> live{0};
std::atomic<size_t> peak{0};

void Count(size_t bytes) {
    const size_t now = live += bytes;
    size_t seen = peak;
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

const std::string& File() {
    static const std::string bytes = [] {
        std::string csv = "name,id\r\n";
        for (int i = 0; i < 100000; ++i) {
            csv += (i % 10 == 0 ? "\"Baker, Sons " : "Client number ") + std::to_string(i) +
                   (i % 10 == 0 ? "\"," : ",") + std::to_string(100000 + i) + "\r\n";
        }
        return csv;
    }();
    return bytes;
}

void PlainReadAndSplit(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::vector<std::string>> rows;
        std::string_view rest = File();
        while (!rest.empty()) {
            const size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            std::vector<std::string> fields;
            size_t from = 0;
            while (true) {
                const size_t comma = line.find(',', from);
                fields.emplace_back(line.substr(from, comma - from));
                if (comma == std::string_view::npos) {
                    break;
                }
                from = comma + 1;
            }
            rows.push_back(std::move(fields));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        }
        benchmark::DoNotOptimize(rows.data());
    }
}

void ImportPreview(benchmark::State& state) {
    const core::Book book{{"Forty-two", "Seven"}, {"42", "100007"}};
    for (auto _ : state) {
        const size_t before = live;
        peak = before;
        const core::ImportSource source = core::ReadImport(File(), "clients.csv");
        const core::ImportPreview preview = core::Preview(source, 0, book, 9);
        benchmark::DoNotOptimize(preview.entries.data());
        state.counters["peak_x_file"] =
            static_cast<double>(peak - before) / static_cast<double>(File().size());
    }
}

} // namespace

BENCHMARK(PlainReadAndSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(ImportPreview)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

// Every allocation of the program is counted, with its size kept in front of the block.
void* operator new(size_t bytes) {
    auto* block = static_cast<size_t*>(std::malloc(bytes + sizeof(std::max_align_t)));
    if (!block) {
        throw std::bad_alloc();
    }
    *block = bytes;
    Count(bytes);
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}
void operator delete(void* pointer) noexcept {
    if (pointer) {
        auto* block =
            reinterpret_cast<size_t*>(static_cast<char*>(pointer) - sizeof(std::max_align_t));
        live -= *block;
        std::free(block);
    }
}
void operator delete(void* pointer, size_t) noexcept {
    operator delete(pointer);
}
