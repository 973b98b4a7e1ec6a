#include "core/Merge.h"

#include <algorithm>
#include <unordered_map>

namespace core {
namespace {

// A client as one key: which of its two rows it has, and their bytes, each length-prefixed so
// no bytes of a name can pass for an ID.
std::string Key(const Book& book, size_t row) {
    std::string key;
    for (const std::vector<std::string>* list : {&book.names, &book.ids}) {
        if (row < list->size()) {
            const std::string& text = (*list)[row];
            key += std::to_string(text.size()) + ':' + text;
        } else {
            key += '-';
        }
    }
    return key;
}

std::vector<std::string> Keys(const Book& book) {
    const size_t rows = std::max(book.names.size(), book.ids.size());
    std::vector<std::string> keys;
    keys.reserve(rows);
    for (size_t row = 0; row < rows; ++row) {
        keys.push_back(Key(book, row));
    }
    return keys;
}

struct Counts {
    size_t base = 0;
    size_t mine = 0;
    size_t theirs = 0;
    size_t Result() const {
        const size_t removed = base - std::min({base, mine, theirs});
        const size_t added = std::max(mine, theirs) > base ? std::max(mine, theirs) - base : 0;
        return base - removed + added;
    }
};

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

} // namespace

BookMerge MergeBooks(const Book& base, const Book& mine, const Book& theirs) {
    const std::vector<std::string> baseKeys = Keys(base);
    const std::vector<std::string> mineKeys = Keys(mine);
    const std::vector<std::string> theirKeys = Keys(theirs);
    std::unordered_map<std::string_view, Counts> counts;
    counts.reserve(mineKeys.size() + theirKeys.size());
    for (const std::string& key : baseKeys) {
        ++counts[key].base;
    }
    for (const std::string& key : mineKeys) {
        ++counts[key].mine;
    }
    for (const std::string& key : theirKeys) {
        ++counts[key].theirs;
    }

    BookMerge merge;
    // This copy's rows that stay: the first occurrences of each client, as many as the
    // merge keeps of it.
    std::unordered_map<std::string_view, std::vector<size_t>> kept; // client -> rows of mine
    std::vector<size_t> keptRows;
    keptRows.reserve(mineKeys.size());
    for (size_t row = 0; row < mineKeys.size(); ++row) {
        const Counts& c = counts[mineKeys[row]];
        std::vector<size_t>& rows = kept[mineKeys[row]];
        if (rows.size() < std::min(c.mine, c.Result())) {
            rows.push_back(keptRows.size());
            keptRows.push_back(row);
        } else {
            ++merge.removed;
        }
    }

    // The other copy's additions, each after the nearest client before it there that stands
    // here too. Additions after one place keep their order there.
    constexpr size_t Front = static_cast<size_t>(-1);
    std::unordered_map<size_t, std::vector<size_t>> after; // place in keptRows -> rows of theirs
    std::unordered_map<std::string_view, size_t> seen;     // client -> occurrences met there
    size_t anchor = Front;
    for (size_t row = 0; row < theirKeys.size(); ++row) {
        const std::string_view key = theirKeys[row];
        const Counts& c = counts[key];
        const size_t nth = seen[key]++;
        const std::vector<size_t>& mineRows = kept[key];
        const size_t extra = c.Result() > mineRows.size() ? c.Result() - mineRows.size() : 0;
        if (nth < mineRows.size()) {
            anchor = mineRows[nth];
        } else if (nth >= c.theirs - std::min(c.theirs, extra)) {
            after[anchor].push_back(row);
            ++merge.added;
        }
    }

    const auto append = [&](const Book& from, size_t row) {
        if (row < from.names.size()) {
            merge.book.names.push_back(from.names[row]);
        }
        if (row < from.ids.size()) {
            merge.book.ids.push_back(from.ids[row]);
        }
    };
    const auto appendAfter = [&](size_t place) {
        const auto found = after.find(place);
        if (found != after.end()) {
            for (const size_t row : found->second) {
                append(theirs, row);
            }
        }
    };
    merge.book.names.reserve(keptRows.size() + merge.added);
    merge.book.ids.reserve(keptRows.size() + merge.added);
    appendAfter(Front);
    for (size_t place = 0; place < keptRows.size(); ++place) {
        append(mine, keptRows[place]);
        appendAfter(place);
    }
    return merge;
}

SettingsMerge MergeSettings(const std::vector<std::string>& base,
                            const std::vector<std::string>& mine,
                            const std::vector<std::string>& theirs) {
    SettingsMerge merge;
    merge.values = mine;
    for (size_t i = 0; i < mine.size() && i < base.size() && i < theirs.size(); ++i) {
        if (mine[i] == base[i] && theirs[i] != base[i]) {
            merge.values[i] = theirs[i];
            ++merge.taken;
        }
    }
    return merge;
}

std::string MergeSummary(const BookMerge& book, const SettingsMerge& settings) {
    std::string summary;
    const auto add = [&](const std::string& sentence) {
        summary += (summary.empty() ? "" : " ") + sentence;
    };
    if (book.added > 0) {
        add("Kept " + Plural(book.added, "client", "clients") + " that another copy added.");
    }
    if (book.removed > 0) {
        add("Removed " + Plural(book.removed, "client", "clients") + " that another copy removed.");
    }
    if (settings.taken > 0) {
        add("Took " + Plural(settings.taken, "setting", "settings") +
            " that another copy changed.");
    }
    return summary;
}

} // namespace core
