#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "app/UserSettings.h"
#include "controls/Numedit.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

using Rows = std::vector<std::string>;

// A control of a dialog by its name.
template <class W> W* In(QWidget* dialog, const char* name) {
    return dialog ? dialog->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

class Editing : public ::testing::Test {
protected:
    void Start() {
        form = folder.Start();
        sink.messages.clear();
        names = Find<ListBox>(*form, "ListBox1");
        ids = Find<ListBox>(*form, "ListBox2");
        table = Find<ClientTable>(*form, "BookTable");
        name = Find<QLineEdit>(*form, "Edit1");
        id = Find<TNumEdit>(*form, "NumEdit1");
        ok = Find<QPushButton>(*form, "Button1");
    }

    void StartWith(const std::string& nameFile, const std::string& idFile) {
        folder.Write("clientlist.txt", nameFile);
        folder.Write("clientIDlist.txt", idFile);
        Start();
    }

    void ShowPage(int index) {
        Find<QTabWidget>(*form, "PageControl1")->setCurrentIndex(index);
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
    }

    // Clicks a row of the table as the user would: column 0 its name, 1 its ID.
    void ClickRow(int column, int row) { ClickClient(*form, row, column); }

    void Press(const char* button) {
        QTest::mouseClick(Find<QPushButton>(*form, button), Qt::LeftButton);
    }

    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
    ListBox* names = nullptr;
    ListBox* ids = nullptr;
    ClientTable* table = nullptr;
    QLineEdit* name = nullptr;
    TNumEdit* id = nullptr;
    QPushButton* ok = nullptr;
};

} // namespace

TEST_F(Editing, KeyboardAloneAddsOneClientPerPress) {
    Start();
    ShowPage(1);
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("Acme Ltd"));
    QTest::keyClick(name, Qt::Key_Tab);
    ASSERT_TRUE(id->hasFocus());
    id->selectAll();
    QTest::keyClicks(id, QStringLiteral("12a3-4.5678"));
    EXPECT_EQ(id->text(), QStringLiteral("123456"));
    QTest::keyClick(id, Qt::Key_Tab);
    ASSERT_TRUE(ok->hasFocus());
    // Focus on the button adds nothing yet.
    EXPECT_EQ(names->Count(), 0);
    QTest::keyClick(ok, Qt::Key_Space);
    EXPECT_EQ(names->Items(), Rows{"Acme Ltd"});
    EXPECT_EQ(ids->Items(), Rows{"123456"});
    EXPECT_TRUE(name->text().isEmpty());
    EXPECT_TRUE(id->text().isEmpty());

    // Enter on the focused button presses it too; empty fields give an empty pair.
    QTest::keyClick(ok, Qt::Key_Return);
    EXPECT_EQ(names->Items(), (Rows{"Acme Ltd", ""}));
    EXPECT_EQ(ids->Items(), (Rows{"123456", ""}));
    EXPECT_EQ(names->ItemIndex(), -1);
    EXPECT_EQ(Find<QTabWidget>(*form, "PageControl1")->currentIndex(), 1);
}

TEST_F(Editing, MouseAloneAddsOneClientPerPressAndTheBookSurvivesARestart) {
    Start();
    ShowPage(1);
    for (const auto& [client, number] : {std::pair{"Alpha", "11"}, std::pair{"Beta", "22"}}) {
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClicks(name, QString::fromLatin1(client));
        QTest::mouseClick(id, Qt::LeftButton);
        id->clear();
        QTest::keyClicks(id, QString::fromLatin1(number));
        QTest::mouseClick(ok, Qt::LeftButton);
    }
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Beta"}));
    EXPECT_EQ(ids->Items(), (Rows{"11", "22"}));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBeta\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "11\r\n22\r\n");

    Start();
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Beta"}));
    EXPECT_TRUE(sink.messages.isEmpty());
}

TEST_F(Editing, ANameAndItsIdAreOneSelection) {
    StartWith("a\r\nb\r\nc\r\nd\r\n", "1\r\n2\r\n3\r\n4\r\n");
    ClickRow(0, 3);
    EXPECT_EQ(names->ItemIndex(), 3);
    EXPECT_EQ(ids->ItemIndex(), 3);
    ClickRow(1, 1);
    EXPECT_EQ(ids->ItemIndex(), 1);
    EXPECT_EQ(names->ItemIndex(), 1);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(ids->ItemIndex(), 2);
    EXPECT_EQ(names->ItemIndex(), 2);
    ids->SetItemIndex(0);
    EXPECT_EQ(names->ItemIndex(), 0);
}

TEST_F(Editing, RemoveAndMoveWithTheirRefusals) {
    StartWith("a\r\nb\r\nc\r\n", "1\r\n2\r\n3\r\n");
    Press("Button3");
    EXPECT_EQ(names->Count(), 3);
    EXPECT_TRUE(sink.messages.isEmpty());

    Press("Button4");
    Press("Button5");
    EXPECT_EQ(sink.messages,
              (QStringList{QStringLiteral("You can't move this item any farther up!"),
                           QStringLiteral("You can't move this item any farther down!")}));

    ClickRow(0, 0);
    Press("Button4");
    EXPECT_EQ(sink.messages.size(), 3);
    Press("Button5");
    EXPECT_EQ(names->Items(), (Rows{"b", "a", "c"}));
    EXPECT_EQ(ids->Items(), (Rows{"2", "1", "3"}));
    // The client moved stays selected: the next press moves it on, until the end refuses.
    EXPECT_EQ(names->ItemIndex(), 1);
    EXPECT_EQ(ids->ItemIndex(), 1);
    Press("Button5");
    EXPECT_EQ(names->Items(), (Rows{"b", "c", "a"}));
    EXPECT_EQ(ids->Items(), (Rows{"2", "3", "1"}));
    EXPECT_EQ(names->ItemIndex(), 2);
    Press("Button5");
    EXPECT_EQ(sink.messages.size(), 4);
    EXPECT_EQ(sink.messages.last(), QStringLiteral("You can't move this item any farther down!"));

    // Alt+Up and Alt+Down are the arrows; with a filter on they say why they do not move.
    QTest::keyClick(table, Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(table, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(names->Items(), (Rows{"a", "b", "c"}));
    EXPECT_EQ(ids->Items(), (Rows{"1", "2", "3"}));
    EXPECT_EQ(names->ItemIndex(), 0);
    QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(names->Items(), (Rows{"b", "a", "c"}));
    Find<QLineEdit>(*form, "FilterEdit")->setText(QStringLiteral("a"));
    QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(sink.messages.last(), QStringLiteral("Clear the filter to move clients in the list"));
    EXPECT_EQ(names->Items(), (Rows{"b", "a", "c"}));
    Find<QLineEdit>(*form, "FilterEdit")->clear();

    ClickRow(0, 1);
    Press("Button3");
    EXPECT_EQ(names->Items(), (Rows{"b", "c"}));
    EXPECT_EQ(ids->Items(), (Rows{"2", "3"}));
    EXPECT_EQ(names->ItemIndex(), -1);
    EXPECT_EQ(ids->ItemIndex(), -1);
}

TEST_F(Editing, DownInABookOfElevenComparesPositionsAsNumbers) {
    std::string nameFile;
    std::string idFile;
    for (int i = 0; i < 11; ++i) {
        nameFile += "n" + std::to_string(i) + "\r\n";
        idFile += std::to_string(i) + "\r\n";
    }
    StartWith(nameFile, idFile);
    ClickRow(0, 9);
    Press("Button5");
    EXPECT_TRUE(sink.messages.isEmpty());
    EXPECT_EQ(names->Items()[10], "n9");
    EXPECT_EQ(ids->Items()[10], "9");
}

TEST_F(Editing, OutOfStepListsStayIntactWhateverIsPressed) {
    StartWith("a\r\nb\r\nc\r\nd\r\n", "1\r\n2\r\n");
    const auto countOf = [](const core::Rows& rows, std::string_view row) {
        return std::count(rows.begin(), rows.end(), row);
    };
    for (int row : {3, 2, 1, 0}) {
        ClickRow(0, row);
        Press("Button4");
        ClickRow(0, row);
        Press("Button5");
        Press("Button5");
    }
    ClickRow(1, 1);
    Press("Button5");
    EXPECT_EQ(names->Count(), 4);
    EXPECT_EQ(ids->Count(), 2);
    for (const char* row : {"a", "b", "c", "d"}) {
        EXPECT_EQ(countOf(names->Items(), row), 1) << row;
    }
    EXPECT_EQ(countOf(ids->Items(), "1"), 1);
    EXPECT_EQ(countOf(ids->Items(), "2"), 1);

    // A row the ID list lacks is removed from the names alone.
    ClickRow(0, 3);
    Press("Button3");
    EXPECT_EQ(names->Count(), 3);
    EXPECT_EQ(ids->Count(), 2);
}

TEST_F(Editing, PastedLineBreaksAndControlCharactersNeverSplitAClient) {
    Start();
    ShowPage(1);
    QGuiApplication::clipboard()->setText(QStringLiteral("Acme\r\nCorp\x1A"));
    name->setFocus();
    name->paste();
    EXPECT_EQ(name->text(), QStringLiteral("AcmeCorp"));
    QGuiApplication::clipboard()->setText(QStringLiteral("12\n34"));
    id->clear();
    id->setFocus();
    id->paste();
    EXPECT_EQ(id->text(), QStringLiteral("1234"));
    // Text set from code skips the field's filter; the add drops the characters all the same.
    name->setText(QStringLiteral("Initech\nLtd"));
    Press("Button1");
    EXPECT_EQ(names->Items(), Rows{"InitechLtd"});
    EXPECT_EQ(ids->Items(), Rows{"1234"});
}

TEST_F(Editing, EveryEditIsUndoneAndRedoneAndSaid) {
    StartWith("Alpha\r\nBaker & Sons\r\nCarol\r\n", "1\r\n204518\r\n3\r\n");
    // Remove asks nothing; the line below the lists says how to take it back.
    ClickRow(0, 1);
    Press("Button3");
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Carol"}));
    EXPECT_EQ(StatusLine(*form),
              QString::fromUtf8("Removed Baker & Sons (204518) \xC2\xB7 Ctrl+Z undoes"));
    ClickRow(0, 1);
    Press("Button4");
    EXPECT_EQ(names->Items(), (Rows{"Carol", "Alpha"}));
    ShowPage(1);
    name->setText(QStringLiteral("Zeta"));
    id->setText(QStringLiteral("9"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(StatusLine(*form, "AddStatus"), QStringLiteral("Added Zeta (9)"));

    // Back to the start, the focus in the filter as it mostly is, then forward again.
    ShowPage(0);
    Find<QLineEdit>(*form, "FilterEdit")->setFocus();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(Find<QLineEdit>(*form, "FilterEdit"), Qt::Key_Z, Qt::ControlModifier);
    }
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Baker & Sons", "Carol"}));
    EXPECT_EQ(ids->Items(), (Rows{"1", "204518", "3"}));
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    }
    EXPECT_EQ(names->Items(), (Rows{"Carol", "Alpha", "Zeta"}));
    EXPECT_EQ(ids->Items(), (Rows{"3", "1", "9"}));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "3\r\n1\r\n9\r\n");
}

TEST_F(Editing, TheAddPageTakesEnterAndTypingReplacesTheId) {
    Start();
    ShowPage(1);
    // The layout's "0" is replaced, not kept in front.
    QTest::mouseClick(id, Qt::LeftButton);
    QApplication::processEvents();
    QTest::keyClicks(id, QStringLiteral("778899"));
    EXPECT_EQ(id->text(), QStringLiteral("778899"));
    QTest::mouseClick(name, Qt::LeftButton);
    QTest::keyClicks(name, QStringLiteral("Acme"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(names->Items(), Rows{"Acme"});
    EXPECT_EQ(ids->Items(), Rows{"778899"});
    EXPECT_EQ(form->focusWidget(), name);

    // Tab into the ID field selects what it holds; Enter there is OK too.
    QTest::keyClicks(name, QStringLiteral("Bravo"));
    id->setText(QStringLiteral("0"));
    QTest::keyClick(name, Qt::Key_Tab);
    QApplication::processEvents();
    ASSERT_EQ(form->focusWidget(), id) << form->focusWidget()->objectName().toStdString();
    QTest::keyClicks(id, QStringLiteral("55"));
    QTest::keyClick(id, Qt::Key_Return);
    EXPECT_EQ(ids->Items(), (Rows{"778899", "55"}));
    EXPECT_EQ(form->focusWidget(), name);
}

TEST_F(Editing, AClientIsEditedInPlaceAsOneUndoableStep) {
    StartWith("Baker & Sons\r\nAcme\r\n", "204518\r\n42\r\n");
    ShowPage(0);
    form->show();
    // The editor open now; one closed a moment ago may linger, hidden, until it is deleted.
    const auto editor = [&]() -> QLineEdit* {
        for (QLineEdit* open : table->viewport()->findChildren<QLineEdit*>()) {
            if (open->isVisible()) {
                return open;
            }
        }
        return nullptr;
    };
    // F2 opens the name; Enter keeps what was typed, a name's rules applied.
    ClickRow(0, 1);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return editor() != nullptr; }, 2000));
    EXPECT_EQ(editor()->text(), QStringLiteral("Acme"));
    EXPECT_EQ(editor()->accessibleName(), QStringLiteral("Client name"));
    editor()->setText(QStringLiteral("Acme \u200BLtd"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QApplication::processEvents(); // the editor hands its text over once the key is done
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Acme Ltd"}));
    EXPECT_EQ(sink.messages, QStringList{});
    EXPECT_EQ(StatusLine(*form),
              QStringLiteral("Changed Acme (42) to Acme Ltd (42) \u00B7 Ctrl+Z undoes"));

    // A click on the selected row's ID opens the ID: digits only, one to six of them.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->CellRect(1, 1).center());
    ASSERT_TRUE(WaitFor([&] { return editor() != nullptr; }, 3000));
    EXPECT_EQ(editor()->text(), QStringLiteral("42"));
    editor()->selectAll();
    QTest::keyClicks(editor(), QStringLiteral("77x8899"));
    EXPECT_EQ(editor()->text(), QStringLiteral("778899"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QApplication::processEvents(); // the editor hands its text over once the key is done
    EXPECT_EQ(ids->Items(), (Rows{"204518", "778899"}));
    table->EditRow(1, 1);
    ASSERT_NE(editor(), nullptr);
    editor()->clear();
    QTest::keyClick(editor(), Qt::Key_Return);
    QApplication::processEvents(); // the editor hands its text over once the key is done
    EXPECT_EQ(ids->Items(), (Rows{"204518", "778899"}));
    EXPECT_EQ(StatusLine(*form), QStringLiteral("Not changed: an ID has 1 to 6 digits"));
    // Esc leaves the client as it was.
    table->EditRow(0, 0);
    ASSERT_NE(editor(), nullptr);
    editor()->setText(QStringLiteral("Gone"));
    QTest::keyClick(editor(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Acme Ltd"}));

    // Each edit is one step back, and the close writes what is left.
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ids->Items(), (Rows{"204518", "42"}));
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Acme Ltd"}));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Baker & Sons\r\nAcme Ltd\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "204518\r\n42\r\n");
}

TEST_F(Editing, TheContextMenuOffersWhatARowTakesWithItsKeys) {
    StartWith("Baker & Sons\r\nAcme\r\n", "204518\r\n42\r\n");
    ShowPage(0);
    form->show();
    QStringList entries;
    const auto openAndChoose = [&](const QString& choice, int place) {
        QTimer::singleShot(0, [&, choice] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            entries.clear();
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    entries << action->text();
                    chosen = action->text().startsWith(choice) ? action : chosen;
                }
            }
            menu->close();
            if (chosen && chosen->isEnabled()) {
                chosen->trigger();
            }
        });
        emit table->customContextMenuRequested(table->CellRect(place, 0).center());
    };
    openAndChoose(QStringLiteral("Copy ID"), 1);
    EXPECT_EQ(
        entries,
        (QStringList{QStringLiteral("Connect\tReturn"), QStringLiteral("Edit\tF2"),
                     QStringLiteral("Remove\tDel"), QStringLiteral("Tags and note\u2026\tF4"),
                     QStringLiteral("Favourite\tCtrl+D"), QStringLiteral("Favourites first"),
                     QStringLiteral("Undo\tCtrl+Z"), QStringLiteral("Redo\tCtrl+Shift+Z"),
                     QStringLiteral("History\u2026"), QStringLiteral("Recently removed\u2026"),
                     QStringLiteral("Session log\u2026"), QStringLiteral("Copy ID\tCtrl+C"),
                     QStringLiteral("Import\u2026\tCtrl+I"), QStringLiteral("Export\u2026\tCtrl+E"),
                     QStringLiteral("Export history\u2026")}));
    // The right click selected the row it was on.
    EXPECT_EQ(names->ItemIndex(), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("42"));
    openAndChoose(QStringLiteral("Remove"), 0);
    EXPECT_EQ(names->Items(), Rows{"Acme"});
    openAndChoose(QStringLiteral("Undo"), 0);
    // The client's "&" is shown as itself, not taken for the mark of a key.
    EXPECT_TRUE(entries.contains(QStringLiteral("Undo: Removed Baker && Sons (204518)\tCtrl+Z")));
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Acme"}));
    // Ctrl+C in the table copies the selected client's ID as well.
    table->setFocus();
    names->SetItemIndex(0);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("204518"));
}

TEST_F(Editing, ASortIsAHeadersClickRememberedAndTheFilesKeepTheBooksOrder) {
    StartWith("PC 10\r\npc 2\r\nAcme\r\n", "55\r\n204518\r\n7\r\n");
    ShowPage(0);
    form->show();
    const auto clickHeader = [&](int column) {
        QHeaderView& header = table->Header();
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                          QPoint(header.sectionViewportPosition(column) + 5, 5));
    };
    const auto shownNames = [&] {
        QStringList shown;
        for (int place = 0; place < table->model()->rowCount(); ++place) {
            shown << ShownCell(*form, place, 0);
        }
        return shown;
    };
    clickHeader(0);
    EXPECT_EQ(shownNames(), (QStringList{QStringLiteral("Acme"), QStringLiteral("pc 2"),
                                         QStringLiteral("PC 10")}));
    // A move is refused while sorted, and says why.
    ClickRow(0, 0);
    QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(sink.messages.last().startsWith(QStringLiteral("Show the book's own order")));
    EXPECT_FALSE(Find<QPushButton>(*form, "Button5")->isEnabled());
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "PC 10\r\npc 2\r\nAcme\r\n");

    // Remembered for the next start; the IDs' column sorts as numbers, then the other way,
    // then the book's own order comes back.
    Start();
    ShowPage(0);
    form->show();
    EXPECT_EQ(shownNames().front(), QStringLiteral("Acme"));
    clickHeader(1);
    EXPECT_EQ(shownNames(), (QStringList{QStringLiteral("Acme"), QStringLiteral("PC 10"),
                                         QStringLiteral("pc 2")}));
    clickHeader(1);
    EXPECT_EQ(shownNames().front(), QStringLiteral("pc 2"));
    clickHeader(1);
    EXPECT_EQ(shownNames(), (QStringList{QStringLiteral("PC 10"), QStringLiteral("pc 2"),
                                         QStringLiteral("Acme")}));
    EXPECT_TRUE(Find<QPushButton>(*form, "Button5")->isEnabled());
    ASSERT_TRUE(CloseWindow(*form));
    Start();
    EXPECT_EQ(shownNames().front(), QStringLiteral("PC 10"));
}

TEST_F(Editing, ALineLongerThanTheStatusLineEndsInAnEllipsisAndIsWholeInItsTip) {
    StartWith("Acme\r\n", "42\r\n");
    ShowPage(0);
    const std::string longName = "Uhrenatelier und Goldschmiede " + std::string(40, 'x') + " AG";
    name->setText(QString::fromStdString(longName));
    id->setText(QStringLiteral("778899"));
    ok->click();
    auto* status = Find<QLabel>(*form, "ListStatus");
    EXPECT_TRUE(status->text().endsWith(QChar(0x2026)));
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());
    EXPECT_TRUE(status->toolTip().startsWith(QStringLiteral("Added Uhrenatelier und")));
    EXPECT_TRUE(status->toolTip().endsWith(QStringLiteral(" (778899)")));
    // A wider window shows more of it; a short line needs no tip.
    const QString narrow = status->text();
    form->resize(form->width() + 400, form->height());
    EXPECT_GT(status->text().size(), narrow.size());
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(status->toolTip().isEmpty());
}

// A client removed from a book on this computer waits in its recycle bin, a file of its own
// beside the lists that the close commits with them; "Recently removed" lists it with who
// removed it and when, and Restore puts it back after the client it followed, else before the
// one it preceded, else last, as a step Ctrl+Z undoes. A removal here asks nothing: Ctrl+Z
// brings it back.
TEST_F(Editing, ARemovedClientWaitsInTheBinAndGoesBackWhereItStood) {
    StartWith("Alpha\r\nBaker & Sons\r\nCarol Ltd\r\nDave\r\n", "101\r\n204518\r\n303\r\n404\r\n");
    const auto remove = [&](const char* client) {
        const auto& items = names->Items();
        names->SetItemIndex(
            static_cast<int>(std::find(items.begin(), items.end(), client) - items.begin()));
        form->Button3Click();
    };
    // The dialog, opened (or read anew) as the context menu does.
    const auto bin = [&] {
        form->ShowRecentlyRemoved();
        return form->findChild<QDialog*>(QStringLiteral("RecentlyRemoved"));
    };
    const auto binShows = [&] {
        QStringList rows;
        auto* list = In<QTableWidget>(bin(), "RecycleBinTable");
        for (int row = 0; row < list->rowCount(); ++row) {
            rows << list->item(row, 0)->text() + u'/' + list->item(row, 1)->text();
        }
        return rows;
    };
    const auto restore = [&](const char* client) {
        QDialog* dialog = bin();
        auto* list = In<QTableWidget>(dialog, "RecycleBinTable");
        for (int row = 0; row < list->rowCount(); ++row) {
            if (list->item(row, 0)->text() == QString::fromUtf8(client)) {
                list->selectRow(row);
            }
        }
        auto* button = In<QPushButton>(dialog, "RestoreButton");
        EXPECT_TRUE(button->isEnabled()) << button->toolTip().toStdString();
        button->click();
    };

    remove("Baker & Sons");
    EXPECT_TRUE(sink.questions.isEmpty());
    ASSERT_NE(bin(), nullptr);
    auto* list = In<QTableWidget>(bin(), "RecycleBinTable");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("Baker & Sons"));
    EXPECT_EQ(list->item(0, 1)->text(), QStringLiteral("204518"));
    EXPECT_EQ(list->item(0, 2)->text(), QString::fromStdString(ThisUserName()));
    EXPECT_FALSE(list->item(0, 3)->text().isEmpty());

    // Back where it stood, then (undone) into the bin again.
    restore("Baker & Sons");
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Baker & Sons", "Carol Ltd", "Dave"}));
    EXPECT_EQ(ids->Items(), (Rows{"101", "204518", "303", "404"}));
    EXPECT_TRUE(binShows().isEmpty());
    EXPECT_EQ(StatusLine(*form),
              QStringLiteral("Restored Baker & Sons (204518) \u00B7 Ctrl+Z undoes"));
    // The key is the main window's: the bin's window stands aside for it.
    bin()->close();
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(names->Items(), (Rows{"Alpha", "Carol Ltd", "Dave"}));
    EXPECT_EQ(binShows(), QStringList{QStringLiteral("Baker & Sons/204518")});

    // The client it followed gone: before the one it preceded.
    remove("Alpha");
    restore("Baker & Sons");
    EXPECT_EQ(names->Items(), (Rows{"Baker & Sons", "Carol Ltd", "Dave"}));
    // Both gone: last.
    remove("Baker & Sons");
    remove("Carol Ltd");
    restore("Baker & Sons");
    EXPECT_EQ(names->Items(), (Rows{"Dave", "Baker & Sons"}));
    EXPECT_EQ(ids->Items(), (Rows{"404", "204518"}));
    EXPECT_EQ(binShows(),
              (QStringList{QStringLiteral("Carol Ltd/303"), QStringLiteral("Alpha/101")}));
    bin()->close();

    // The close commits the bin with the lists; the lists' bytes are as ever, and the next
    // start has the bin.
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Dave\r\nBaker & Sons\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "404\r\n204518\r\n");
    const std::string file = folder.Read("recyclebin.txt");
    EXPECT_NE(file.find("\tAlpha\t101\t\t\tCarol Ltd\t303\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\tCarol Ltd\t303\t\t\tDave\t404\r\n"), std::string::npos) << file;
    Start();
    EXPECT_EQ(binShows(),
              (QStringList{QStringLiteral("Carol Ltd/303"), QStringLiteral("Alpha/101")}));
    // Removed when it stood first, before Dave: first again.
    restore("Carol Ltd");
    EXPECT_EQ(names->Items(), (Rows{"Carol Ltd", "Dave", "Baker & Sons"}));
    bin()->close();
    ASSERT_TRUE(CloseWindow(*form));
}

// A technician who never removes a client gets no file beyond the three the book always had.
TEST_F(Editing, ABookNothingWasRemovedFromGetsNoBinFile) {
    StartWith("Alpha\r\n", "101\r\n");
    form->ShowRecentlyRemoved();
    EXPECT_EQ(
        In<QLabel>(form->findChild<QDialog*>(QStringLiteral("RecentlyRemoved")), "RecycleBinStatus")
            ->text(),
        QStringLiteral("Nothing was removed in the last 30 days"));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_FALSE(folder.Exists("recyclebin.txt"));
}
