// The pair rules, the filter and the undo of the two lists, without the window.
#include "app/BookLists.h"
#include "app/ListBox.h"
#include "app/LocalBook.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::string>;

class Lists : public ::testing::Test {
protected:
    // The edits land on the lists as they do in the window's own book.
    Lists() { book.SetStore(edits); }
    void Set(Rows n, Rows i) {
        names.SetItems(std::move(n));
        ids.SetItems(std::move(i));
    }
    ListBox names;
    ListBox ids;
    BookLists book{&names, &ids};
    LocalLists edits{names, ids};
};

} // namespace

TEST_F(Lists, EveryEditUndoesToTheBytesItStartedFromEvenOutOfStep) {
    // Three names and two IDs: each list acts on its own selection.
    const Rows startNames{"Alpha", "Beta", "Gamma"};
    const Rows startIds{"1", "2"};
    Set(startNames, startIds);
    names.SetItemIndex(2);
    ids.SetItemIndex(1);
    book.RemoveSelected();
    EXPECT_EQ(names.Items(), (Rows{"Alpha", "Beta"}));
    EXPECT_EQ(ids.Items(), Rows{"1"});
    book.Select(1);
    ASSERT_TRUE(book.MoveSelected(-1)); // the ID list's row 1 does not exist: it stays
    EXPECT_EQ(names.Items(), (Rows{"Beta", "Alpha"}));
    EXPECT_FALSE(book.MoveSelected(-1)); // no selection after a move
    book.Add({"Delta", "4"});
    for (int i = 0; i < 3; ++i) {
        book.UndoLast();
    }
    EXPECT_EQ(names.Items(), startNames);
    EXPECT_EQ(ids.Items(), startIds);
    for (int i = 0; i < 3; ++i) {
        book.RedoLast();
    }
    EXPECT_EQ(names.Items(), (Rows{"Beta", "Alpha", "Delta"}));
    EXPECT_EQ(ids.Items(), (Rows{"1", "4"}));
    // The book read anew from the files leaves nothing to undo.
    book.Replace({{"X"}, {"9"}});
    book.UndoLast();
    EXPECT_EQ(names.Items(), Rows{"X"});
}

TEST_F(Lists, TheFilterFollowsEveryChangeWithoutBeingTold) {
    Set({"Baker", "Acme", "Bakery"}, {"1", "2", "3"});
    QSignalSpy counts(&book, &BookLists::ShownChanged);
    book.SetFilter(QStringLiteral("bak"));
    EXPECT_EQ(book.ShownCount(), 2);
    book.Add({"Bakehouse", "4"});
    EXPECT_EQ(book.ShownCount(), 3);
    names.SetItemIndex(0);
    ids.SetItemIndex(0);
    book.RemoveSelected();
    EXPECT_EQ(book.ShownCount(), 2);
    EXPECT_EQ(counts.last().value(0).toInt(), 2);
    EXPECT_EQ(counts.last().value(1).toInt(), 3);
    EXPECT_TRUE(counts.last().value(2).toBool());
    book.UndoLast();
    EXPECT_EQ(names.ShownRow(0), 0);
    EXPECT_EQ(book.ShownCount(), 3);
    EXPECT_EQ(book.RowOfId("4"), 3);
    EXPECT_EQ(book.RowOfId("40"), std::nullopt);
    // What an export of the clients shown takes, in the book's order; an import while the
    // filter is on lands at the end and is filtered like any other row.
    book.AddMany({{"Acme two", "Bakers"}, {"5", "6"}});
    EXPECT_EQ(book.Clients(true), (core::Book{Rows{"Baker", "Bakery", "Bakehouse", "Bakers"},
                                              Rows{"1", "3", "4", "6"}}));
    EXPECT_EQ(book.Clients(false).names.size(), 6u);
    book.UndoLast();
    EXPECT_EQ(names.Items(), (Rows{"Baker", "Acme", "Bakery", "Bakehouse"}));
    EXPECT_EQ(book.ShownCount(), 3);
}
