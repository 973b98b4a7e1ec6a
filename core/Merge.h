#pragma once

#include <string>
#include <vector>

namespace core {

// A client book as its two lists hold it: row i of each is one client. Lists out of step still
// merge: a row missing on one side is part of the client too.
struct Book {
    std::vector<std::string> names;
    std::vector<std::string> ids;
};

struct BookMerge {
    Book book;
    // Clients another copy added that were kept, and clients it removed that went here too.
    size_t added = 0;
    size_t removed = 0;
};

// The three-way merge of two copies' edits of one book, base being what both started from.
// Clients (a name with its ID) added on either side are kept, an identical one added on both
// sides once; clients removed on either side are gone; the order is this copy's (mine), with
// each client the other copy (theirs) added standing after the client it followed there.
BookMerge MergeBooks(const Book& base, const Book& mine, const Book& theirs);

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
