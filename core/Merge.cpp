#include "core/Merge.h"

#include "platform/TextLines.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace core {
namespace {

size_t RowCount(const BookRows& book) {
    return std::max(book.names.size(), book.ids.size());
}

// One list's row as a key part: whether the row is there, and its bytes.
void AddPart(std::string& key, const std::vector<std::string_view>& list, size_t row) {
    if (row < list.size()) {
        // Length-prefixed, so no bytes of a name can pass for an ID.
        key += std::to_string(list[row].size());
        key += ':';
        key += list[row];
    } else {
        key += '-';
    }
}

std::vector<std::string> Keys(const BookRows& book, size_t from, size_t to) {
    std::vector<std::string> keys;
    keys.reserve(to - from);
    for (size_t row = from; row < to; ++row) {
        std::string key;
        AddPart(key, book.names, row);
        AddPart(key, book.ids, row);
        keys.push_back(std::move(key));
    }
    return keys;
}

bool SameRow(const BookRows& a, size_t i, const BookRows& b, size_t j) {
    const auto same = [](const std::vector<std::string_view>& x, size_t xi,
                         const std::vector<std::string_view>& y, size_t yj) {
        const bool hasX = xi < x.size();
        return hasX == (yj < y.size()) && (!hasX || x[xi] == y[yj]);
    };
    return same(a.names, i, b.names, j) && same(a.ids, i, b.ids, j);
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

void Append(BookRows& to, const BookRows& from, size_t row) {
    if (row < from.names.size()) {
        to.names.push_back(from.names[row]);
    }
    if (row < from.ids.size()) {
        to.ids.push_back(from.ids[row]);
    }
}

// The merge of the rows [from, *To) of each book, appended to merge.book.
void MergeMiddle(const BookRows& base, size_t baseTo, const BookRows& mine, size_t mineTo,
                 const BookRows& theirs, size_t theirTo, size_t from, BookMerge& merge) {
    const std::vector<std::string> baseKeys = Keys(base, from, baseTo);
    const std::vector<std::string> mineKeys = Keys(mine, from, mineTo);
    const std::vector<std::string> theirKeys = Keys(theirs, from, theirTo);
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

    // This copy's rows that stay: the first occurrences of each client, as many as the
    // merge keeps of it.
    std::unordered_map<std::string_view, std::vector<size_t>> kept; // client -> places kept
    std::vector<size_t> keptRows;
    keptRows.reserve(mineKeys.size());
    for (size_t i = 0; i < mineKeys.size(); ++i) {
        const Counts& c = counts[mineKeys[i]];
        std::vector<size_t>& places = kept[mineKeys[i]];
        if (places.size() < std::min(c.mine, c.Result())) {
            places.push_back(keptRows.size());
            keptRows.push_back(from + i);
        } else {
            ++merge.removed;
        }
    }

    // The other copy's additions, each after the nearest client before it there that stands
    // here too. Additions after one place keep their order there.
    constexpr size_t Front = static_cast<size_t>(-1);
    std::unordered_map<size_t, std::vector<size_t>> after; // place kept -> rows of theirs
    std::unordered_map<std::string_view, size_t> seen;     // client -> occurrences met there
    size_t anchor = Front;
    for (size_t i = 0; i < theirKeys.size(); ++i) {
        const std::string_view key = theirKeys[i];
        const Counts& c = counts[key];
        const size_t nth = seen[key]++;
        const std::vector<size_t>& places = kept[key];
        const size_t extra = c.Result() > places.size() ? c.Result() - places.size() : 0;
        if (nth < places.size()) {
            anchor = places[nth];
        } else if (nth >= c.theirs - std::min(c.theirs, extra)) {
            after[anchor].push_back(from + i);
            ++merge.added;
        }
    }

    const auto appendAfter = [&](size_t place) {
        const auto found = after.find(place);
        if (found != after.end()) {
            for (const size_t row : found->second) {
                Append(merge.book, theirs, row);
            }
        }
    };
    appendAfter(Front);
    for (size_t place = 0; place < keptRows.size(); ++place) {
        Append(merge.book, mine, keptRows[place]);
        appendAfter(place);
    }
}

} // namespace

BookMerge MergeBooks(const BookRows& base, const BookRows& mine, const BookRows& theirs) {
    // Most of a book is the same in all three: only the rows between the common beginning and
    // the common end are merged client by client.
    const size_t baseRows = RowCount(base);
    const size_t mineRows = RowCount(mine);
    const size_t theirRows = RowCount(theirs);
    const size_t shortest = std::min({baseRows, mineRows, theirRows});
    size_t head = 0;
    while (head < shortest && SameRow(base, head, mine, head) &&
           SameRow(base, head, theirs, head)) {
        ++head;
    }
    size_t tail = 0;
    while (tail < shortest - head &&
           SameRow(base, baseRows - 1 - tail, mine, mineRows - 1 - tail) &&
           SameRow(base, baseRows - 1 - tail, theirs, theirRows - 1 - tail)) {
        ++tail;
    }

    BookMerge merge;
    merge.book.names.reserve(std::max(mineRows, theirRows));
    merge.book.ids.reserve(std::max(mineRows, theirRows));
    for (size_t row = 0; row < head; ++row) {
        Append(merge.book, mine, row);
    }
    MergeMiddle(base, baseRows - tail, mine, mineRows - tail, theirs, theirRows - tail, head,
                merge);
    for (size_t row = mineRows - tail; row < mineRows; ++row) {
        Append(merge.book, mine, row);
    }
    return merge;
}

namespace {

size_t CommonPrefix(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    // Block by block at the speed of memcmp; byte by byte only in the block that differs.
    constexpr size_t Block = 4096;
    size_t at = 0;
    while (at + Block <= n && std::memcmp(a.data() + at, b.data() + at, Block) == 0) {
        at += Block;
    }
    while (at < n && a[at] == b[at]) {
        ++at;
    }
    return at;
}

// The whole rows the three share at their beginning, in mine's bytes (CR LF after every row,
// and no row holds a break): the bytes up to the first where any differs, and the breaks in
// them.
struct Shared {
    std::string_view bytes;
    size_t rows = 0;
};
Shared SharedRows(std::string_view base, std::string_view mine, std::string_view theirs) {
    const std::string_view same =
        mine.substr(0, std::min(CommonPrefix(base, mine), CommonPrefix(base, theirs)));
    return {same, static_cast<size_t>(std::count(same.begin(), same.end(), '\n'))};
}

// Where row n (no more than the shared rows) starts in mine's bytes: counted back from the
// end of what is shared, where a merge of a few changes starts.
size_t RowOffset(const Shared& shared, size_t rows) {
    size_t at = shared.bytes.size();
    for (size_t back = shared.rows - rows + 1; back > 0 && at > 0; --back) {
        at = shared.bytes.rfind('\n', at - 1);
        at = at == std::string_view::npos ? 0 : at;
    }
    return rows == 0 ? 0 : at + 1;
}

} // namespace

ListFilesMerge MergeListFiles(std::string_view baseNames, std::string_view baseIds,
                              const Rows& mineNames, const Rows& mineIds,
                              std::string_view theirNames, std::string_view theirIds) {
    std::string mineNameBytes = mineNames.Join();
    std::string mineIdBytes = mineIds.Join();
    const Shared sharedNames = SharedRows(baseNames, mineNameBytes, theirNames);
    const Shared sharedIds = SharedRows(baseIds, mineIdBytes, theirIds);
    const size_t head = std::min(sharedNames.rows, sharedIds.rows);
    const size_t nameAt = RowOffset(sharedNames, std::min(head, mineNames.size()));
    const size_t idAt = RowOffset(sharedIds, std::min(head, mineIds.size()));
    const auto rest = [head](const Rows& rows) {
        return std::vector<std::string_view>(
            rows.begin() + static_cast<std::ptrdiff_t>(std::min(head, rows.size())), rows.end());
    };
    const BookMerge merge = MergeBooks(
        {platform::SplitLineViews(baseNames.substr(std::min(nameAt, baseNames.size()))),
         platform::SplitLineViews(baseIds.substr(std::min(idAt, baseIds.size())))},
        {rest(mineNames), rest(mineIds)},
        {platform::SplitLineViews(theirNames.substr(std::min(nameAt, theirNames.size()))),
         platform::SplitLineViews(theirIds.substr(std::min(idAt, theirIds.size())))});
    ListFilesMerge files;
    // The shared beginning stays where it is; the merged rest goes after it.
    files.names = std::move(mineNameBytes);
    files.names.resize(nameAt);
    files.names += platform::JoinLineViews(merge.book.names);
    files.ids = std::move(mineIdBytes);
    files.ids.resize(idAt);
    files.ids += platform::JoinLineViews(merge.book.ids);
    files.added = merge.added;
    files.removed = merge.removed;
    return files;
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
