// The filter's rules on their own: folding, words, narrowing, and rows that change.
#include "app/BookFilter.h"

#include <gtest/gtest.h>

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
