// The three-way merge of two copies' edits of one book.
#include "core/Merge.h"
#include "platform/TextLines.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A book written as "name:id name:id ..."; a client without an ID is written "name:".
core::Book B(const std::string& text) {
    core::Book book;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string client = text.substr(at, end - at);
        const size_t colon = client.find(':');
        book.names.push_back(client.substr(0, colon));
        if (colon + 1 < client.size()) {
            book.ids.push_back(client.substr(colon + 1));
        }
        at = end + 1;
    }
    return book;
}

struct Case {
    const char* name;
    const char* base;
    const char* mine;
    const char* theirs;
    const char* merged;
    size_t added;
    size_t removed;
};

class MergeBooks : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(MergeBooks, KeepsEveryEditOfBothCopies) {
    const Case& c = GetParam();
    const core::Book base = B(c.base);
    const core::Book mine = B(c.mine);
    const core::Book theirs = B(c.theirs);
    const core::BookMerge merge =
        core::MergeBooks(core::RowsOf(base), core::RowsOf(mine), core::RowsOf(theirs));
    const core::Book merged = core::Owned(merge.book);
    const core::Book expected = B(c.merged);
    EXPECT_EQ(merged.names, expected.names);
    EXPECT_EQ(merged.ids, expected.ids);
    EXPECT_EQ(merge.added, c.added);
    EXPECT_EQ(merge.removed, c.removed);

    // The same merge over the files' bytes, base's written with bare LF as by hand.
    const auto lf = [](const std::vector<std::string>& rows) {
        std::string bytes;
        for (const std::string& row : rows) {
            bytes += row + "\n";
        }
        return bytes;
    };
    const core::ListFilesMerge files =
        core::MergeListFiles(lf(base.names), lf(base.ids), mine.names, mine.ids,
                             platform::JoinLines(theirs.names), platform::JoinLines(theirs.ids));
    EXPECT_EQ(files.names, platform::JoinLines(expected.names));
    EXPECT_EQ(files.ids, platform::JoinLines(expected.ids));
    EXPECT_EQ(files.added, c.added);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeBooks,
    ::testing::Values(
        Case{"AddedOnBothSides", "A:1", "A:1 Carol:3", "A:1 Dave:4", "A:1 Dave:4 Carol:3", 1, 0},
        Case{"AddedHereRemovedThere", "A:1 B:2", "A:1 B:2 Carol:3", "A:1", "A:1 Carol:3", 0, 1},
        Case{"RemovedOnBothSides", "A:1 B:2 C:3", "A:1 C:3", "A:1 C:3", "A:1 C:3", 0, 0},
        Case{"RemovedHereKeptThere", "A:1 B:2", "A:1", "A:1 B:2", "A:1", 0, 0},
        Case{"TheSamePairAddedOnBothSidesOnce", "A:1", "A:1 Carol:3", "A:1 Carol:3", "A:1 Carol:3",
             0, 0},
        Case{"SameNameOtherIdIsAnotherClient", "A:1", "A:1 Carol:3", "A:1 Carol:9",
             "A:1 Carol:9 Carol:3", 1, 0},
        Case{"TheirAdditionsStandAfterWhatTheyFollowed", "A:1 B:2 C:3", "C:3 B:2 A:1",
             "A:1 X:7 Y:8 B:2 C:3 Z:9", "C:3 Z:9 B:2 A:1 X:7 Y:8", 3, 0},
        Case{"AnAdditionAtTheTopStaysAtTheTop", "A:1", "A:1 B:2", "X:7 A:1", "X:7 A:1 B:2", 1, 0},
        Case{"AnAdditionAfterAClientRemovedHereFollowsTheOneBefore", "A:1 B:2 C:3", "A:1 C:3",
             "A:1 B:2 X:7 C:3", "A:1 X:7 C:3", 1, 0},
        Case{"ASecondCopyOfAClientAddedThere", "A:1", "A:1", "A:1 A:1", "A:1 A:1", 1, 0},
        Case{"OneOfTwoEqualClientsRemovedThere", "A:1 A:1 B:2", "A:1 A:1 B:2", "A:1 B:2", "A:1 B:2",
             0, 1},
        Case{"AnEmptyBaseIsAFirstRunOnBothSides", "", "Carol:3", "Dave:4", "Dave:4 Carol:3", 1, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(MergeSettings, AChangeHereWinsAndAChangeOnlyThereIsKept) {
    //                         quality  host  password
    const std::vector<std::string> base{"3", "a", "x"};
    const std::vector<std::string> mine{"5", "a", "x"};
    const std::vector<std::string> theirs{"7", "b", "x"};
    const core::SettingsMerge merge = core::MergeSettings(base, mine, theirs);
    EXPECT_EQ(merge.values, (std::vector<std::string>{"5", "b", "x"}));
    EXPECT_EQ(merge.taken, 1u);

    core::BookMerge book;
    book.added = 2;
    book.removed = 1;
    EXPECT_EQ(core::MergeSummary(book, merge),
              "Kept 2 clients that another copy added. Removed 1 client that another copy "
              "removed. Took 1 setting that another copy changed.");
    EXPECT_EQ(core::MergeSummary({}, {}), "");
}

// The merge over the files' bytes starts where the three stop sharing rows, and counts back
// to it: for any books, also with lists out of step, it gives what the merge of the whole
// books gives.
TEST(MergeListFiles, GivesWhatTheWholeMergeGives) {
    std::mt19937 random(5);
    const auto edit = [&](core::Book book) {
        for (int n = static_cast<int>(random() % 4); n > 0; --n) {
            auto& list = random() % 2 ? book.names : book.ids;
            const size_t at = list.empty() ? 0 : random() % list.size();
            if (random() % 2 && !list.empty()) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
            } else {
                list.insert(list.begin() + static_cast<std::ptrdiff_t>(at),
                            std::string(1, static_cast<char>('a' + random() % 4)));
            }
        }
        return book;
    };
    for (int round = 0; round < 2000; ++round) {
        core::Book base;
        for (int i = static_cast<int>(random() % 12); i > 0; --i) {
            base.Add({std::string(1, static_cast<char>('a' + random() % 4)),
                      std::to_string(random() % 3)});
        }
        const core::Book mine = edit(base);
        const core::Book theirs = edit(base);
        const core::Book whole = core::Owned(
            core::MergeBooks(core::RowsOf(base), core::RowsOf(mine), core::RowsOf(theirs)).book);
        const core::ListFilesMerge files = core::MergeListFiles(
            platform::JoinLines(base.names), platform::JoinLines(base.ids), mine.names, mine.ids,
            platform::JoinLines(theirs.names), platform::JoinLines(theirs.ids));
        ASSERT_EQ(files.names, platform::JoinLines(whole.names)) << "round " << round;
        ASSERT_EQ(files.ids, platform::JoinLines(whole.ids)) << "round " << round;
    }
}
