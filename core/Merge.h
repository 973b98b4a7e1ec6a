#pragma once

#include "core/Book.h"
#include "core/Rows.h"

#include <string>
#include <string_view>
#include <vector>

namespace core {

struct BookMerge {
    // Views into the books merged.
    BookRows book;
    // Clients another copy added that were kept, and clients it removed that went here too.
    size_t added = 0;
    size_t removed = 0;
};

// The three-way merge of two copies' edits of one book, base being what both started from.
// Clients (a name with its ID) added on either side are kept, an identical one added on both
// sides once; clients removed on either side are gone; the order is this copy's (mine), with
// each client the other copy (theirs) added standing after the client it followed there.
BookMerge MergeBooks(const BookRows& base, const BookRows& mine, const BookRows& theirs);

// The same merge over the two list files' bytes (base's and theirs as read, mine as rows),
// giving the bytes to write (CR LF after every row). Only the rows after the beginning the
// three share are split and merged, so a merge of a few changes into a large book costs little
// more than writing it.
struct ListFilesMerge {
    std::string names;
    std::string ids;
    size_t added = 0;
    size_t removed = 0;
};
ListFilesMerge MergeListFiles(std::string_view baseNames, std::string_view baseIds,
                              const Rows& mineNames, const Rows& mineIds,
                              std::string_view theirNames, std::string_view theirIds);

struct SettingsMerge {
    std::vector<std::string> values;
    // Settings taken from the other copy.
    size_t taken = 0;
};

// Setting by setting: one changed here wins; one changed only there is kept.
SettingsMerge MergeSettings(const std::vector<std::string>& base,
                            const std::vector<std::string>& mine,
                            const std::vector<std::string>& theirs);

// The line that tells the user what a merge kept ("Kept 2 clients that another copy added."),
// empty when it took nothing from the other copy.
std::string MergeSummary(const BookMerge& book, const SettingsMerge& settings);

} // namespace core
