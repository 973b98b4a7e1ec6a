// The filter's rules on their own: folding, words, narrowing, and rows that change.
#include "app/BookFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Rows = std::vector<std::string>;

std::vector<int> Shown(BookFilter& filter, const char* text, const Rows& names, const Rows& ids) {
    const std::vector<int>* shown = filter.Apply(QString::fromUtf8(text), names, ids);
    return shown ? *shown : std::vector<int>{-1};
}

} // namespace

TEST(BookFilter, LettersWithoutADecompositionFoldAsAReaderSpellsThem) {
    struct Case {
        const char* written;
        const char* folded;
    };
    for (const Case& c :
         {Case{"Łódź", "lodz"}, Case{"Østergaard", "ostergaard"}, Case{"Đorđe", "dorde"},
          Case{"Straße", "strasse"}, Case{"Ærø", "aero"}, Case{"Œuvre", "oeuvre"},
          Case{"Þór", "thor"}, Case{"ıstanbul", "istanbul"}, Case{"ðe", "de"}, Case{"Ħal", "hal"},
          Case{"Ŋa", "na"}, Case{"Ŧe", "te"}, Case{"ĸa", "ka"}, Case{"Ŀa", "la"}, Case{"ŉa", "na"},
          Case{"ſa", "sa"}, Case{"Ĳssel", "ijssel"}, Case{"Müller", "muller"},
          Case{"ÀÉÎÕÜÇÑÝ", "aeioucny"}}) {
        EXPECT_EQ(BookFilter::Fold(QString::fromUtf8(c.written)), c.folded) << c.written;
    }
}

TEST(BookFilter, EveryWordMatchesTheNameOrTheIdButNeverAcrossThem) {
    const Rows names{"Baker & Sons", "Łódź Tools", "Café\x1F", "Acme"};
    const Rows ids{"204518", "3301", "42", "77"};
    BookFilter filter;
    EXPECT_EQ(Shown(filter, "baker 2045", names, ids), std::vector<int>{0});
    EXPECT_EQ(Shown(filter, "LODZ", names, ids), std::vector<int>{1});
    EXPECT_EQ(Shown(filter, "   ", names, ids), std::vector<int>{-1});
    // A word spanning the end of a name and the start of its ID matches nothing.
    EXPECT_EQ(Shown(filter, "acme77", names, ids), std::vector<int>{});
    EXPECT_EQ(Shown(filter, "sons2", names, ids), std::vector<int>{});
}

TEST(BookFilter, RowsThatChangeAreFoldedAloneAndTheResultFollowsThem) {
    Rows names{"Ærø Shipping", "Baker"};
    Rows ids{"1", "2"};
    BookFilter filter;
    EXPECT_EQ(Shown(filter, "a", names, ids), (std::vector<int>{0, 1}));
    // Narrowing searches the rows shown; a change of the book makes the next search whole.
    names.insert(names.begin() + 1, "Łukasz");
    ids.insert(ids.begin() + 1, "3");
    filter.RowInserted(BookFilter::Names, 1, names[1]);
    filter.RowInserted(BookFilter::Ids, 1, ids[1]);
    EXPECT_EQ(Shown(filter, "lu", names, ids), std::vector<int>{1});
    names.erase(names.begin());
    ids.erase(ids.begin());
    filter.RowTaken(BookFilter::Names, 0);
    filter.RowTaken(BookFilter::Ids, 0);
    EXPECT_EQ(Shown(filter, "luk", names, ids), std::vector<int>{0});
    EXPECT_EQ(Shown(filter, "aero", names, ids), std::vector<int>{});
    names = {"Þór"};
    ids = {"9"};
    filter.RowsReplaced(BookFilter::Names);
    filter.RowsReplaced(BookFilter::Ids);
    EXPECT_EQ(Shown(filter, "thor", names, ids), std::vector<int>{0});
}

// Clients added and removed anywhere, one list at a time or both together, with searches in
// between or not: the filter that followed every edit shows what a filter made afresh shows.
TEST(BookFilter, EditsFollowedOneByOneFindWhatAFreshSearchFinds) {
    std::mt19937 random(20261210);
    Rows names;
    Rows ids;
    for (int i = 0; i < 40; ++i) {
        names.push_back("Client " + std::to_string(i) + (i % 7 == 0 ? " M\xC3\xBCller" : ""));
        ids.push_back(std::to_string(1000 + i));
    }
    BookFilter followed;
    const char* const searches[] = {"1", "client 2", "muller", "10", "3 m"};
    int next = 0;
    for (int step = 0; step < 400; ++step) {
        const auto pick = [&](size_t size) { return random() % (size + 1); };
        const int kind = static_cast<int>(random() % 10);
        const std::string made = "New " + std::to_string(step);
        if (kind <= 3) { // a client added: the name's row, then the ID's
            const size_t at = std::min(pick(names.size()), ids.size());
            names.insert(names.begin() + static_cast<long>(at), made);
            followed.RowInserted(BookFilter::Names, at, made);
            ids.insert(ids.begin() + static_cast<long>(at), std::to_string(step));
            followed.RowInserted(BookFilter::Ids, at, std::to_string(step));
        } else if (kind <= 7 && !names.empty() && !ids.empty()) { // a client removed
            const size_t at = random() % std::min(names.size(), ids.size());
            names.erase(names.begin() + static_cast<long>(at));
            followed.RowTaken(BookFilter::Names, at);
            ids.erase(ids.begin() + static_cast<long>(at));
            followed.RowTaken(BookFilter::Ids, at);
        } else if (kind == 8) { // one list alone, out of step for a while
            const size_t at = pick(names.size());
            names.insert(names.begin() + static_cast<long>(at), made + " \xC5\x81\xC3\xB3"
                                                                       "d\xC5\xBA");
            followed.RowInserted(BookFilter::Names, at, names[at]);
        } else if (!ids.empty()) {
            const size_t at = random() % ids.size();
            ids.erase(ids.begin() + static_cast<long>(at));
            followed.RowTaken(BookFilter::Ids, at);
        }
        if (random() % 5 == 0) {
            const char* text = searches[next++ % std::size(searches)];
            BookFilter fresh;
            ASSERT_EQ(Shown(followed, text, names, ids), Shown(fresh, text, names, ids))
                << "step " << step << ", \"" << text << "\"";
        }
    }
}
