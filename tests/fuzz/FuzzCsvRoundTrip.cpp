// A libFuzzer target for the export: any book (names and IDs as NUL-separated bytes) written as
// CSV reads back as the same rows, each as the book shows it and an import takes it, and no
// cell starts with what a spreadsheet would run.
#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/Import.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// What the book's row is once shown, exported and imported.
std::string Expected(const std::string& row, bool name) {
    const std::string shown = core::WithoutControlCharacters(core::DisplayUtf8(row));
    if (name) {
        return std::string(Trimmed(core::CleanName(Trimmed(shown))));
    }
    return std::string(Trimmed(shown).substr(0, core::MaxNameCharacters));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    std::vector<std::string> ids;
    size_t at = 0;
    for (bool name = true; at <= bytes.size(); name = !name) {
        size_t end = bytes.find('\0', at);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        // A row of the book never holds a line break: the list files are split at them.
        std::string row(bytes.substr(at, end - at));
        std::erase_if(row, [](char c) { return c == '\r' || c == '\n'; });
        (name ? names : ids).push_back(std::move(row));
        at = end + 1;
    }
    ids.resize(names.size());
    const std::string csv = core::ExportCsv({names, ids});
    for (const char* formula : {"\n=", "\n+", "\n-", "\n@", "\n\"=", "\n\"+", "\n\"-", "\n\"@",
                                ",=", ",+", ",-", ",@", ",\"=", ",\"+", ",\"-", ",\"@"}) {
        // A quoted name may hold ",=" itself: only a cell's first characters count, so look
        // only where no quote is open.
        size_t found = csv.find(formula);
        while (found != std::string::npos) {
            size_t quotes = 0;
            for (size_t i = 0; i <= found; ++i) {
                quotes += csv[i] == '"';
            }
            if (quotes % 2 == 0) {
                __builtin_trap();
            }
            found = csv.find(formula, found + 1);
        }
    }
    try {
        const core::ImportSource source = core::ReadCsv(csv);
        if (source.Rows() != names.size()) {
            __builtin_trap();
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (source.Name(i) != Expected(names[i], true) ||
                source.Value(i, 0) != Expected(ids[i], false)) {
                __builtin_trap();
            }
        }
    } catch (const Exception&) {
        __builtin_trap();
    }
    return 0;
}
