// Finding a client in the book: the filter, the keyboard, quick connect, a window that grows.
#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "controls/Numedit.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTest>

namespace {

using Rows = std::vector<std::string>;

class Finding : public ::testing::Test {
protected:
    void SetUp() override {
        folder.InstallViewer();
        folder.Write("clientlist.txt", "Baker & Sons\r\nM\xC3\xBCller GmbH\r\nAcme\r\n"
                                       "baker street\r\nCaf\xE9 Bleu\r\n");
        folder.Write("clientIDlist.txt", "204518\r\n3301\r\n42\r\n77\r\n5150\r\n");
        form = folder.Start();
        names = Find<ListBox>(*form, "ListBox1");
        ids = Find<ListBox>(*form, "ListBox2");
        table = Find<ClientTable>(*form, "BookTable");
        filter = Find<QLineEdit>(*form, "FilterEdit");
        Find<QLineEdit>(*form, "Edit3")->setText(QStringLiteral("192.0.2.10"));
    }

    // The names and IDs the table shows, row for row.
    std::vector<std::pair<QString, QString>> Shown() const {
        std::vector<std::pair<QString, QString>> shown;
        for (int v = 0; v < table->model()->rowCount(); ++v) {
            shown.emplace_back(ShownCell(*form, v, 0), ShownCell(*form, v, 1));
        }
        return shown;
    }
    QStringList ShownNames() const {
        QStringList list;
        for (const auto& [name, id] : Shown()) {
            list << name;
        }
        return list;
    }
    void Type(const QString& text) {
        filter->clear();
        QTest::keyClicks(filter, text);
    }
    void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(w, key, modifiers);
    }
    // The ID the viewer was started with, or "" when it was not started.
    std::string Launched() {
        if (!WaitFor([&] { return folder.Exists("viewer-args"); }, 5000)) {
            return {};
        }
        const std::string args = folder.Read("viewer-args");
        std::filesystem::remove(folder.File("viewer-args"));
        const size_t at = args.find("ID:");
        return at == std::string::npos ? "?" : args.substr(at + 3, args.find('\0', at) - at - 3);
    }

    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
    ListBox* names = nullptr;
    ListBox* ids = nullptr;
    ClientTable* table = nullptr;
    QLineEdit* filter = nullptr;
};

} // namespace

TEST_F(Finding, EveryWordMatchesNameOrIdWithoutCaseOrAccents) {
    EXPECT_EQ(form->focusWidget(), filter);
    Type(QStringLiteral("baker 2045"));
    EXPECT_EQ(Shown(), (std::vector<std::pair<QString, QString>>{
                           {QStringLiteral("Baker & Sons"), QStringLiteral("204518")}}));
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("1 of 5"));
    Type(QStringLiteral("BAKER"));
    EXPECT_EQ(ShownNames(),
              (QStringList{QStringLiteral("Baker & Sons"), QStringLiteral("baker street")}));
    Type(QStringLiteral("muller"));
    EXPECT_EQ(ShownNames(), QStringList{QString::fromUtf8("M\xC3\xBCller GmbH")});
    // A row kept in Windows-1252 is found by its accented letters as well.
    Type(QString::fromUtf8("CAFÉ"));
    EXPECT_EQ(ShownNames(), QStringList{QString::fromUtf8("Caf\xC3\xA9 Bleu")});
    Type(QStringLiteral("77"));
    EXPECT_EQ(ShownNames(), QStringList{QStringLiteral("baker street")});
    Type(QStringLiteral("nobody"));
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("0 of 5"));
    Key(filter, Qt::Key_Escape);
    EXPECT_EQ(Shown().size(), 5u);
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("5 clients"));
}

TEST_F(Finding, ConnectRemoveAndCloseActOnTheBooksRows) {
    Type(QStringLiteral("baker"));
    auto* up = Find<QPushButton>(*form, "Button4");
    EXPECT_FALSE(up->isEnabled());
    EXPECT_EQ(up->toolTip(), QStringLiteral("Clear the filter to move clients in the list"));
    // The second row shown is the book's fourth client.
    ClickClient(*form, 1);
    EXPECT_EQ(ids->ItemIndex(), 3);
    QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
    EXPECT_EQ(Launched(), "77");
    QTest::mouseClick(Find<QPushButton>(*form, "Button3"), Qt::LeftButton);
    EXPECT_EQ(ShownNames(), QStringList{QStringLiteral("Baker & Sons")});
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("1 of 4"));

    // Added under a filter: shown and selected on the way back to the list.
    Find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Zeta"));
    Find<TNumEdit>(*form, "NumEdit1")->setText(QStringLiteral("9"));
    QTest::mouseClick(Find<QPushButton>(*form, "Button1"), Qt::LeftButton);
    EXPECT_TRUE(filter->text().isEmpty());
    EXPECT_EQ(names->ItemIndex(), 4);
    EXPECT_EQ(ids->ItemIndex(), 4);
    EXPECT_TRUE(up->isEnabled());

    Type(QStringLiteral("acme"));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"),
              "Baker & Sons\r\nM\xC3\xBCller GmbH\r\nAcme\r\nCaf\xE9 Bleu\r\nZeta\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "204518\r\n3301\r\n42\r\n5150\r\n9\r\n");
}

TEST_F(Finding, TheKeyboardFindsConnectsAndRemoves) {
    Type(QStringLiteral("baker"));
    Key(filter, Qt::Key_Down);
    Key(filter, Qt::Key_Down);
    EXPECT_EQ(names->ItemIndex(), 3);
    Key(filter, Qt::Key_Up);
    EXPECT_EQ(ids->ItemIndex(), 0);
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(Launched(), "204518");

    // The only client shown connects without being selected.
    Type(QStringLiteral("acme"));
    Key(filter, Qt::Key_Enter);
    EXPECT_EQ(Launched(), "42");
    Key(filter, Qt::Key_Escape);

    // Double-click on a row, Enter in the table.
    const QPoint third = table->CellRect(2, 1).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(Launched(), "42");
    names->SetItemIndex(1);
    Key(table, Qt::Key_Return);
    EXPECT_EQ(Launched(), "3301");

    // Delete asks first: No keeps the client, Yes removes name and ID together.
    Key(table, Qt::Key_Delete);
    EXPECT_EQ(sink.questions,
              QStringList{QString::fromUtf8("Remove M\xC3\xBCller GmbH (3301) from your book?")});
    EXPECT_EQ(names->Count(), 5);
    sink.answer = true;
    Key(table, Qt::Key_Delete);
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Acme", "baker street", "Caf\xE9 Bleu"}));
    EXPECT_EQ(ids->Items(), (Rows{"204518", "42", "77", "5150"}));

    // Ctrl+N opens the add page at the name field; Ctrl+F comes back with the filter selected.
    Type(QStringLiteral("abc"));
    Key(form.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Find<QTabWidget>(*form, "PageControl1")->currentIndex(), 1);
    EXPECT_EQ(form->focusWidget(), Find<QLineEdit>(*form, "Edit1"));
    Key(form.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Find<QTabWidget>(*form, "PageControl1")->currentIndex(), 0);
    EXPECT_EQ(form->focusWidget(), filter);
    EXPECT_EQ(filter->selectedText(), QStringLiteral("abc"));
}

TEST_F(Finding, QuickConnectAsksForAnIdThatIsNotInTheBook) {
    Type(QStringLiteral("9999"));
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(sink.questions,
              QStringList{QStringLiteral("Connect to ID 9999? It is not in your book.")});
    EXPECT_FALSE(WaitFor([&] { return folder.Exists("viewer-args"); }, 300));
    sink.answer = true;
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(Launched(), "9999");
    EXPECT_NE(folder.Read("vncviewer.bat").find(" ID:9999 -quickoption "), std::string::npos);
    // An ID in the book connects to that client without a question; one too long for the ID
    // field asks nothing and connects nothing.
    Type(QStringLiteral("42"));
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(Launched(), "42");
    Type(QStringLiteral("1234567"));
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(sink.questions.size(), 2);
    EXPECT_EQ(sink.messages.last(), QStringLiteral("An ID has at most 6 digits"));
}

TEST_F(Finding, TheListsGrowWithTheWindowAndItsPlaceIsRemembered) {
    const QRect tablePlace = table->geometry();
    const int idWidth = table->ColumnWidth(1);
    const QRect connect = Find<QPushButton>(*form, "Button2")->geometry();
    const QRect label = Find<QLabel>(*form, "Label1")->geometry();
    form->resize(form->width() + 150, form->height() + 100);
    QApplication::processEvents();
    // The IDs keep the width their longest needs; the names take the rest.
    EXPECT_EQ(table->geometry(), tablePlace.adjusted(0, 0, 150, 100));
    EXPECT_EQ(table->ColumnWidth(1), idWidth);
    EXPECT_EQ(Find<QPushButton>(*form, "Button2")->geometry(), connect.translated(0, 100));
    EXPECT_EQ(Find<QLabel>(*form, "Label1")->geometry(), label);
    auto* pane = Find<QWidget>(*form, "NotesPane");
    EXPECT_FALSE(pane->isVisible());
    // Wider still: the tags and note pane stands beside the table, which keeps at least the
    // width it had.
    form->resize(form->width() + 450, form->height());
    QApplication::processEvents();
    EXPECT_TRUE(pane->isVisible());
    EXPECT_EQ(pane->geometry().top(), table->geometry().top());
    EXPECT_EQ(pane->geometry().height(), table->geometry().height());
    EXPECT_EQ(pane->geometry().left(), table->geometry().right() + 7);
    EXPECT_EQ(pane->geometry().right(), tablePlace.right() + 600);
    EXPECT_GE(table->width(), tablePlace.width());
    const QSize grown = form->size();
    EXPECT_TRUE(CloseWindow(*form));

    form = folder.Start();
    EXPECT_EQ(form->size(), grown);
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("MyBrindleViewer"),
              QStringLiteral("window"))
        .clear();
}

TEST(FindingScroll, NoNameEverStandsBesideAnotherClientsId) {
    ProgramFolder folder;
    RecordingSink sink;
    std::string names;
    std::string ids;
    for (int i = 0; i < 300; ++i) {
        // Every seventh name too long for any window: 86 characters.
        names += (i % 7 == 3 ? "Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9"
                               "e " +
                                   std::string(70, 'x') + " " + std::to_string(100 + i)
                             : "Client " + std::to_string(i)) +
                 "\r\n";
        ids += std::to_string(500000 + i) + "\r\n";
    }
    folder.Write("clientlist.txt", names);
    folder.Write("clientIDlist.txt", ids);
    auto form = folder.Start();
    form->show();
    auto* table = Find<ClientTable>(*form, "BookTable");
    const auto& nameRows = table->Names().Items();
    const auto& idRows = table->Ids().Items();
    // Each row on screen: the name drawn (maybe shortened) and the ID drawn are one client's.
    const auto checkRowsOnScreen = [&](const char* where) {
        SCOPED_TRACE(where);
        EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
        const QRect screen = table->viewport()->rect();
        int checked = 0;
        for (int y = 1; y < screen.height(); y += table->sizeHintForRow(0)) {
            const auto [namePlace, nameColumn] = table->CellAt(QPoint(2, y));
            const auto [idPlace, idColumn] = table->CellAt(QPoint(screen.width() - 2, y));
            if (namePlace < 0) {
                break;
            }
            ASSERT_EQ(namePlace, idPlace);
            ASSERT_EQ(nameColumn, 0);
            ASSERT_EQ(idColumn, 1);
            // The ID's cell lies whole inside the viewport, right of the name's.
            EXPECT_TRUE(screen.contains(table->CellRect(idPlace, 1).adjusted(0, 0, 0, -1)) ||
                        table->CellRect(idPlace, 1).bottom() >= screen.bottom());
            EXPECT_EQ(table->CellRect(namePlace, 0).right() + 1,
                      table->CellRect(idPlace, 1).left());
            const QModelIndex name = table->model()->index(namePlace, 0);
            const QModelIndex id = table->model()->index(idPlace, 1);
            const auto row = static_cast<size_t>(table->Model().RowAt(namePlace));
            EXPECT_EQ(name.data(Qt::ToolTipRole).toString().toStdString(), nameRows[row]);
            EXPECT_EQ(id.data().toString().toStdString(), idRows[row]);
            // The whole ID is drawn; a long name loses its middle, never its end.
            const QFontMetrics metrics(table->font());
            EXPECT_LE(metrics.horizontalAdvance(id.data().toString()), table->ColumnWidth(1));
            ++checked;
        }
        EXPECT_GT(checked, 3);
    };
    for (const QSize size : {form->minimumSize(), QSize(1600, 1000)}) {
        form->resize(size);
        QApplication::processEvents();
        table->setFocus();
        QTest::keyClick(table, Qt::Key_End);
        checkRowsOnScreen("End");
        for (int page = 0; page < 3; ++page) {
            QTest::keyClick(table, Qt::Key_PageUp);
            checkRowsOnScreen("PageUp");
        }
        QTest::keyClick(table, Qt::Key_Home);
        for (int page = 0; page < 3; ++page) {
            QTest::keyClick(table, Qt::Key_PageDown);
            checkRowsOnScreen("PageDown");
        }
    }
    EXPECT_EQ(table->textElideMode(), Qt::ElideMiddle);
}

TEST_F(Finding, DigitsConnectOnlyTheClientWithExactlyThatId) {
    // One client shown, holding the digits in a longer ID: the user is asked, never connected
    // to that client.
    Type(QStringLiteral("20451"));
    ASSERT_EQ(Shown().size(), 1u);
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(sink.questions,
              QStringList{QStringLiteral("Connect to ID 20451? It is not in your book.")});
    EXPECT_EQ(Launched(), "");
    // A filter with letters still connects the only client shown.
    Type(QStringLiteral("bak son"));
    Key(filter, Qt::Key_Return);
    EXPECT_EQ(Launched(), "204518");
}

TEST_F(Finding, MessagesSayWhatTheFilterFound) {
    struct Case {
        const char* filter;
        const char* message;
    };
    for (const Case& c : {Case{"nobody", "No client matches \"nobody\""},
                          Case{"baker", "Select one of the 2 clients shown"},
                          Case{"1234567", "An ID has at most 6 digits"},
                          Case{"", "You have to select a client to connect to first!"}}) {
        SCOPED_TRACE(c.filter);
        Type(QString::fromUtf8(c.filter));
        names->SetItemIndex(-1);
        ids->SetItemIndex(-1);
        sink.messages.clear();
        QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
        if (c.filter[0] == '1') {
            Key(filter, Qt::Key_Return); // the quick-connect rule speaks on Enter
            EXPECT_EQ(sink.messages.last(), QString::fromUtf8(c.message));
        } else {
            EXPECT_EQ(sink.messages, QStringList{QString::fromUtf8(c.message)});
        }
    }
}

TEST_F(Finding, KeysWorkWhereverTheFocusIsOnThePage) {
    // Esc after a button was clicked.
    Type(QStringLiteral("baker"));
    auto* connect = Find<QPushButton>(*form, "Button2");
    connect->setFocus();
    Key(connect, Qt::Key_Escape);
    EXPECT_TRUE(filter->text().isEmpty());

    // Page and edge keys in the filter move among the clients shown.
    Key(filter, Qt::Key_End);
    EXPECT_EQ(names->ItemIndex(), 4);
    Key(filter, Qt::Key_Home);
    EXPECT_EQ(ids->ItemIndex(), 0);
    Key(filter, Qt::Key_PageDown);
    EXPECT_EQ(names->ItemIndex(), 4);
    Key(filter, Qt::Key_PageUp);
    EXPECT_EQ(names->ItemIndex(), 0);

    // A letter typed in a list filters instead of jumping by first letter.
    table->setFocus();
    QTest::keyClicks(table, QStringLiteral("ca"));
    EXPECT_EQ(filter->text(), QStringLiteral("ca"));
    EXPECT_EQ(form->focusWidget(), filter);
    EXPECT_EQ(ShownNames(), QStringList{QString::fromUtf8("Caf\xC3\xA9 Bleu")});
}

TEST_F(Finding, TheBookIsOneTableCountedInTheLocalesDigits) {
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("5 clients"));
    const QAbstractItemModel* model = table->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Client"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("ID"));
    // The count ends where the table does.
    EXPECT_TRUE(table->alternatingRowColors());
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->geometry().right(), table->geometry().right());
    EXPECT_EQ(Find<QRadioButton>(*form, "RadioButton9")->accessibleName(),
              QStringLiteral("Repeater on this machine"));
    EXPECT_EQ(Find<QRadioButton>(*form, "RadioButton10")->accessibleName(),
              QStringLiteral("Repeater on another machine"));

    // A longer ID widens the ID column; the names give way.
    const int idWidth = table->ColumnWidth(1);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::string many;
    std::string manyIds;
    for (int i = 0; i < 1234; ++i) {
        many += "Client " + std::to_string(i) + "\r\n";
        manyIds += (i == 7 ? "1234567890" : std::to_string(i)) + "\r\n";
    }
    folder.Write("clientlist.txt", many);
    folder.Write("clientIDlist.txt", manyIds);
    form = folder.Start();
    EXPECT_EQ(Find<QLabel>(*form, "FilterCount")->text(), QStringLiteral("1,234 clients"));
    EXPECT_GT(Find<ClientTable>(*form, "BookTable")->ColumnWidth(1), idWidth);
    QLocale::setDefault(QLocale::c());
}

TEST_F(Finding, TheWindowIsNeverSmallerThanItsLayout) {
    const QSize layout = form->size();
    form->resize(150, 100);
    EXPECT_EQ(form->size(), layout);
    // A size remembered from before is not restored below it.
    QWidget small;
    small.resize(150, 100);
    QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                       QStringLiteral("MyBrindleViewer"), QStringLiteral("window"));
    settings.setValue(QStringLiteral("geometry"), small.saveGeometry());
    settings.sync();
    form = folder.Start();
    EXPECT_EQ(form->size(), layout);
    settings.clear();
}
