// The pair rules, the filter, the sort and the undo of the book's table, without the window.
#include "app/BookLists.h"
#include "app/ClientTable.h"
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
    // What the table shows, place by place: name and ID side by side.
    std::vector<std::pair<QString, QString>> Shown() const {
        std::vector<std::pair<QString, QString>> shown;
        const BookTableModel& model = table.Model();
        for (int place = 0; place < model.rowCount(); ++place) {
            shown.emplace_back(model.index(place, 0).data().toString(),
                               model.index(place, 1).data().toString());
        }
        return shown;
    }
    ClientTable table;
    ListBox& names = table.Names();
    ListBox& ids = table.Ids();
    BookLists book{table};
    LocalLists edits{names, ids};
};

} // namespace

TEST_F(Lists, EveryEditUndoesToTheBytesItStartedFromEvenOutOfStep) {
    // Three names and two IDs: a row the ID list lacks is the names' alone.
    const Rows startNames{"Alpha", "Beta", "Gamma", "Delta"};
    const Rows startIds{"1", "2"};
    Set(startNames, startIds);
    book.Select(2);
    EXPECT_EQ(names.ItemIndex(), 2);
    EXPECT_EQ(ids.ItemIndex(), -1);
    book.RemoveSelected();
    EXPECT_EQ(names.Items(), (Rows{"Alpha", "Beta", "Delta"}));
    EXPECT_EQ(ids.Items(), (Rows{"1", "2"}));
    book.Select(2);
    ASSERT_TRUE(book.MoveSelected(-1)); // the ID list's row 2 does not exist: it stays
    EXPECT_EQ(names.Items(), (Rows{"Alpha", "Delta", "Beta"}));
    EXPECT_EQ(ids.Items(), (Rows{"1", "2"}));
    // The client moved stays selected, so the next move takes it on.
    ASSERT_TRUE(book.MoveSelected(-1));
    EXPECT_EQ(names.Items(), (Rows{"Delta", "Alpha", "Beta"}));
    EXPECT_EQ(ids.Items(), (Rows{"2", "1"}));
    EXPECT_EQ(book.Selected(), 0);
    EXPECT_FALSE(book.MoveSelected(-1));
    ASSERT_TRUE(book.Edit(1, {"Alpha Ltd", "11"}));
    EXPECT_FALSE(book.Edit(1, {"Alpha Ltd", "11"})); // nothing changed, nothing to undo
    book.Add({"Echo", "4"});
    for (int i = 0; i < 5; ++i) {
        book.UndoLast();
    }
    EXPECT_EQ(names.Items(), startNames);
    EXPECT_EQ(ids.Items(), startIds);
    for (int i = 0; i < 5; ++i) {
        book.RedoLast();
    }
    EXPECT_EQ(names.Items(), (Rows{"Delta", "Alpha Ltd", "Beta", "Echo"}));
    EXPECT_EQ(ids.Items(), (Rows{"2", "11", "4"}));
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
    EXPECT_EQ(table.Model().RowAt(0), 0);
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

TEST_F(Lists, ASortShowsTheBookInAnotherOrderWhileTheBookKeepsItsOwn) {
    Set({"PC 10", "pc 2", "Zürich", "Émile", "PC 1"}, {"55", "204518", "9", "0100", "7"});
    book.Select(1); // pc 2
    book.SetOrder({0, false});
    const auto rows = [](std::initializer_list<std::pair<const char*, const char*>> pairs) {
        std::vector<std::pair<QString, QString>> shown;
        for (const auto& [name, id] : pairs) {
            shown.emplace_back(QString::fromUtf8(name), QString::fromUtf8(id));
        }
        return shown;
    };
    // Names as a reader orders them: digits as numbers, case and accents aside.
    EXPECT_EQ(Shown(), rows({{"Émile", "0100"},
                             {"PC 1", "7"},
                             {"pc 2", "204518"},
                             {"PC 10", "55"},
                             {"Zürich", "9"}}));
    EXPECT_EQ(book.Selected(), 1);
    EXPECT_FALSE(book.WhyNoMove().isEmpty());
    // IDs as numbers, the other way round.
    book.SetOrder({1, true});
    EXPECT_EQ(Shown().front(), (std::pair{QStringLiteral("pc 2"), QStringLiteral("204518")}));
    EXPECT_EQ(Shown().back(), (std::pair{QStringLiteral("PC 1"), QStringLiteral("7")}));
    // An edit, an add and a filter keep the order; the files' order never changes.
    ASSERT_TRUE(book.Edit(2, {"Zürich", "1000000"}));
    book.Add({"Annex", "300000"});
    EXPECT_EQ(Shown()[0].first, QString::fromUtf8("Zürich"));
    EXPECT_EQ(Shown()[1].first, QStringLiteral("Annex"));
    book.SetFilter(QStringLiteral("pc"));
    EXPECT_EQ(Shown(), rows({{"pc 2", "204518"}, {"PC 10", "55"}, {"PC 1", "7"}}));
    book.SetFilter({});
    book.UndoLast();
    book.UndoLast();
    EXPECT_EQ(names.Items(), (Rows{"PC 10", "pc 2", "Zürich", "Émile", "PC 1"}));
    EXPECT_EQ(ids.Items(), (Rows{"55", "204518", "9", "0100", "7"}));
    EXPECT_EQ(book.Selected(), 2); // the client whose edit was undone, wherever it is shown
    book.SetOrder({});
    EXPECT_TRUE(book.WhyNoMove().isEmpty());
    EXPECT_EQ(Shown().front().first, QStringLiteral("PC 10"));
    EXPECT_EQ(table.Model().PlaceOf(1), 1);
}

TEST_F(Lists, NoNameEverStandsBesideAnotherClientsIdWhileBothListsChange) {
    Set({"A", "B", "C"}, {"1", "2", "3"});
    // Whatever changed, the table pairs row i of one list with row i of the other.
    const auto paired = [&] {
        const BookTableModel& model = table.Model();
        for (int place = 0; place < model.rowCount(); ++place) {
            const auto row = static_cast<size_t>(model.RowAt(place));
            const QString name = model.index(place, 0).data().toString();
            const QString id = model.index(place, 1).data().toString();
            if (name != QString::fromStdString(std::string(names.Items()[row])) ||
                id != QString::fromStdString(std::string(ids.Items()[row]))) {
                return false;
            }
        }
        return model.rowCount() == book.Count();
    };
    book.Select(1);
    book.FollowInsert(0, {"Z", "26"});
    EXPECT_TRUE(paired());
    EXPECT_EQ(book.Selected(), 2); // the selection stays with B
    book.FollowTake(3);
    book.FollowMove(0, 2);
    EXPECT_TRUE(paired());
    EXPECT_EQ(book.Selected(), 1);
    book.SetOrder({1, true});
    book.FollowInsert(1, {"Y", "25"});
    book.FollowSet(0, {"A2", "99"});
    EXPECT_TRUE(paired());
    EXPECT_EQ(table.Model().index(0, 0).data().toString(), QStringLiteral("A2"));
    EXPECT_EQ(names.Item(book.Selected()), "B");
}
