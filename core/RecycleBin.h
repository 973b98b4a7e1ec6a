#pragma once

#include "core/Book.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The recycle bin of a book on this computer: the clients removed lately, each with who removed
// it, when, and the clients it stood between, kept in a file of its own beside the lists and
// committed with them.
namespace core {

inline constexpr const char* BinFile = "recyclebin.txt";

// The most entries the bin keeps; the oldest go first.
inline constexpr size_t MaxBinEntries = 10000;

struct BinEntry {
    // When, in UTC, as 2026-12-10T09:30:00Z: later ones sort after earlier ones.
    std::string removedAt;
    std::string removedBy;
    Client client;
    // The clients it stood after and before; empty at the book's start or end.
    Client before;
    Client after;
    bool operator==(const BinEntry&) const = default;
};

// An entry's line: its fields separated by tabs. A field of the book holds no tab and no other
// control character (names are stored that way), so none is escaped.
std::string BinLine(const BinEntry& entry);
// An entry from its line; nothing for a line that is not one (a field too many or too few, a
// control character, a time that is not one): a file anybody may write is checked, not trusted.
std::optional<BinEntry> ParseBinLine(std::string_view line);

// The lines from the file's bytes (CR LF after each), and back; lines that are no entry are left
// out.
std::vector<std::string> BinLines(std::string_view bytes);
std::string BinBytes(const std::vector<std::string>& lines);

// Only the entries removed at or after the cutoff (same form as removedAt), at most the newest
// MaxBinEntries, oldest first.
std::vector<std::string> KeepRecent(std::vector<std::string> lines, std::string_view cutoff);

// Two copies' bins merged, base being what both read: an entry either copy put back (or let
// expire) is gone, one either copy added stays, once. The order is by time removed.
std::vector<std::string> MergeBins(const std::vector<std::string>& base,
                                   const std::vector<std::string>& mine,
                                   const std::vector<std::string>& theirs);

} // namespace core
