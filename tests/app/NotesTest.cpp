// What a technician knows of each client: tags and a note through the window's pane, kept
// through a close, found by the filter, undone as steps; favourites and the recent connections,
// the technician's own.
#include "app/BookLists.h"
#include "app/Favourites.h"
#include "app/ListBox.h"
#include "app/NotesPane.h"
#include "app/UserSettings.h"
#include "core/ClientNotes.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>

namespace {

using Names = std::vector<std::string>;

class Notes : public ::testing::Test {
protected:
    Notes() {
        folder.Write("clientlist.txt", "Alpha\r\nBaker & Sons\r\nCarol Ltd\r\n");
        folder.Write("clientIDlist.txt", "101\r\n204518\r\n303\r\n");
        UserSettings().clear();
    }
    ~Notes() override { UserSettings().clear(); }

    void Start() {
        form = folder.Start();
        table = Find<ClientTable>(*form, "BookTable");
        filter = Find<QLineEdit>(*form, "FilterEdit");
        // Wide enough for the pane beside the table.
        form->resize(form->width() + 400, form->height());
        QApplication::processEvents();
    }

    void Select(const std::string& name) {
        const auto& items = Find<ListBox>(*form, "ListBox1")->Items();
        const auto at = std::find(items.begin(), items.end(), name);
        ASSERT_NE(at, items.end()) << name;
        Find<ListBox>(*form, "ListBox1")->SetItemIndex(static_cast<int>(at - items.begin()));
    }

    // Types into the pane's fields as the user would, then leaves them.
    void TypeTags(const QString& tags) {
        auto* field = Find<QLineEdit>(*form, "TagsEdit");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, tags);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void TypeNote(const QString& note) {
        auto* field = Find<QPlainTextEdit>(*form, "NoteEdit");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, note);
        filter->setFocus();
    }

    Names Shown() const {
        Names shown;
        for (int place = 0; place < table->model()->rowCount(); ++place) {
            shown.push_back(ShownCell(*form, place, 0).toStdString());
        }
        return shown;
    }

    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
    ClientTable* table = nullptr;
    QLineEdit* filter = nullptr;
};

} // namespace

TEST_F(Notes, TagsAndANoteAreKeptFoundByTheFilterAndUndoneStepByStep) {
    Start();
    // A book without tags shows no Tags column.
    EXPECT_TRUE(table->Header().isSectionHidden(BookTableModel::Tags));
    Select("Baker & Sons");
    ASSERT_TRUE(Find<QWidget>(*form, "NotesPane")->isVisible());
    TypeTags(QStringLiteral("vip,  key account"));
    TypeNote(QStringLiteral("Gate code 4711"));
    EXPECT_FALSE(table->Header().isSectionHidden(BookTableModel::Tags));
    EXPECT_EQ(ShownCell(*form, 1, BookTableModel::Tags), QStringLiteral("vip, key-account"));
    EXPECT_EQ(Find<QLineEdit>(*form, "TagsEdit")->text(), QStringLiteral("vip, key-account"));
    EXPECT_TRUE(table->model()
                    ->index(1, BookTableModel::Names)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .endsWith(QStringLiteral("\n\nGate code 4711")));

    // A word of the note finds the client, and the row says it was the note.
    filter->setText(QStringLiteral("4711"));
    EXPECT_EQ(Shown(), Names{"Baker & Sons"});
    EXPECT_EQ(ShownCell(*form, 0, BookTableModel::Tags),
              QStringLiteral("\u270E in note, vip, key-account"));
    // A word of the name does not mark the row.
    filter->setText(QStringLiteral("baker"));
    EXPECT_EQ(ShownCell(*form, 0, BookTableModel::Tags), QStringLiteral("vip, key-account"));
    // A tag whole: "#vip" finds the tag, not the clients whose name merely holds the letters.
    filter->setText(QStringLiteral("#key"));
    EXPECT_TRUE(Shown().empty());
    filter->clear();
    // A click on a tag is its filter.
    const QRect cell = table->CellRect(1, BookTableModel::Tags);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(6, 4));
    EXPECT_EQ(filter->text(), QStringLiteral("#vip"));
    EXPECT_EQ(Shown(), Names{"Baker & Sons"});
    filter->clear();

    // Each is a step: the note goes first, then the tags.
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(StatusLine(*form),
              QStringLiteral("Undone: Changed the note of Baker & Sons (204518)"));
    EXPECT_EQ(Find<QPlainTextEdit>(*form, "NoteEdit")->toPlainText(), QString());
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Find<QLineEdit>(*form, "TagsEdit")->text(), QString());
    EXPECT_TRUE(table->Header().isSectionHidden(BookTableModel::Tags));
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Find<QPlainTextEdit>(*form, "NoteEdit")->toPlainText(),
              QStringLiteral("Gate code 4711"));

    // A rename takes them along; the lists' files keep their form.
    BookTableModel& model = table->Model();
    model.setData(model.index(1, BookTableModel::Names), QStringLiteral("Baker Ltd"), Qt::EditRole);
    EXPECT_EQ(ShownCell(*form, 1, BookTableModel::Tags), QStringLiteral("vip, key-account"));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker Ltd\r\nCarol Ltd\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "101\r\n204518\r\n303\r\n");
    EXPECT_EQ(folder.Read(core::NotesFile),
              "Baker Ltd\t204518\tvip,key-account\tGate code 4711\r\n");

    // Through a restart; a removed client's note waits in the bin with it and comes back.
    Start();
    Select("Baker Ltd");
    EXPECT_EQ(Find<QPlainTextEdit>(*form, "NoteEdit")->toPlainText(),
              QStringLiteral("Gate code 4711"));
    Find<QPushButton>(*form, "Button3")->click();
    // The only tagged client gone, the column goes; back with Ctrl+Z, it comes back.
    EXPECT_TRUE(WaitFor([&] { return table->Header().isSectionHidden(BookTableModel::Tags); }));
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return !table->Header().isSectionHidden(BookTableModel::Tags); }));
    Select("Baker Ltd");
    Find<QPushButton>(*form, "Button3")->click();
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nCarol Ltd\r\n");
    EXPECT_NE(folder.Read(core::NotesFile).find("Gate code 4711"), std::string::npos);
    Start();
    EXPECT_TRUE(table->Header().isSectionHidden(BookTableModel::Tags));
}

// The notes file is read beside the window's start; an edit made before it was taken apart
// waits for it, and no other client's note is lost.
TEST_F(Notes, AnEditBeforeTheNotesWereReadKeepsEveryOtherNote) {
    std::string names;
    std::string ids;
    std::string notes;
    for (int i = 0; i < 20000; ++i) {
        names += "Client " + std::to_string(i) + "\r\n";
        ids += std::to_string(100000 + i) + "\r\n";
        notes += core::NotesLine({"Client " + std::to_string(i), std::to_string(100000 + i)},
                                 {{"vip"}, std::string(200, 'n')}) +
                 "\r\n";
    }
    folder.Write("clientlist.txt", names);
    folder.Write("clientIDlist.txt", ids);
    folder.Write(core::NotesFile, notes);
    form = folder.Start();
    auto* book = form->findChild<BookLists*>();
    ASSERT_NE(book, nullptr);
    // At once, before the event loop has run.
    ASSERT_TRUE(book->EditExtra(2, {{"new"}, "Typed at once"}));
    EXPECT_TRUE(CloseWindow(*form));
    const core::ClientNotes kept = core::ClientNotes::FromBytes(folder.Read(core::NotesFile));
    EXPECT_EQ(kept.Count(), 20000u);
    ASSERT_NE(kept.Find({"Client 2", "100002"}), nullptr);
    EXPECT_EQ(kept.Find({"Client 2", "100002"})->note, "Typed at once");
    ASSERT_NE(kept.Find({"Client 3", "100003"}), nullptr);
    EXPECT_EQ(kept.Find({"Client 3", "100003"})->tags, std::vector<std::string>{"vip"});
}

TEST_F(Notes, ABookWithoutNotesGetsNoFileAndHostileLinesAreLeftOut) {
    Start();
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_FALSE(folder.Exists(core::NotesFile));

    // Lines nobody wrote with this program: a control byte, an unknown escape, a field too many.
    folder.Write(core::NotesFile, "Alpha\t101\tvip\tok\r\n"
                                  "Carol Ltd\t303\tx\tbad \\q\r\n"
                                  "Carol Ltd\t303\t\x1b\tx\r\n"
                                  "Carol Ltd\t303\tx\ty\tz\r\n");
    Start();
    EXPECT_EQ(ShownCell(*form, 0, BookTableModel::Tags), QStringLiteral("vip"));
    EXPECT_EQ(ShownCell(*form, 2, BookTableModel::Tags), QString());
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read(core::NotesFile), "Alpha\t101\tvip\tok\r\n");
}

// Two program processes on one folder, each typing the note of another client: both notes are
// kept.
TEST_F(Notes, TwoCopiesTypingDifferentClientsNotesKeepBoth) {
    const auto copy = [&](const QStringList& steps) {
        auto process = std::make_unique<QProcess>();
        process->setProgram(QStringLiteral(SCRIPTED_COPY));
        process->setArguments(QStringList{QString::fromStdString(folder.Path())} + steps);
        process->start();
        EXPECT_TRUE(process->waitForStarted());
        return process;
    };
    const QString ready = QString::fromStdString(folder.File("ready-"));
    const QString go = QString::fromStdString(folder.File("go-"));
    auto first =
        copy({QStringLiteral("note:Alpha:Ring first: back door"),
              QStringLiteral("tell:") + ready + u'1', QStringLiteral("wait:") + go + u'1'});
    auto second =
        copy({QStringLiteral("note:Carol Ltd:Printer on floor 2"),
              QStringLiteral("tell:") + ready + u'2', QStringLiteral("wait:") + go + u'2'});
    ASSERT_TRUE(WaitFor([&] { return folder.Exists("ready-1") && folder.Exists("ready-2"); }));
    folder.Write("go-1", "");
    ASSERT_TRUE(first->waitForFinished(20000));
    folder.Write("go-2", "");
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(folder.Read(core::NotesFile), "Alpha\t101\t\tRing first: back door\r\n"
                                            "Carol Ltd\t303\t\tPrinter on floor 2\r\n");
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker & Sons\r\nCarol Ltd\r\n");
}

TEST_F(Notes, AStarAndTheRecentConnectionsAreTheTechniciansOwn) {
    folder.InstallViewer();
    Start();
    // Ctrl+D stars the selected client; favourites first puts it on top, whatever the order.
    Select("Carol Ltd");
    QTest::keyClick(form.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(ShownCell(*form, 2, 0), QStringLiteral("\u2605 Carol Ltd"));
    EXPECT_EQ(StatusLine(*form), QStringLiteral("Starred Carol Ltd (303)"));
    EXPECT_FALSE(Find<QToolButton>(*form, "RecentButton")->isEnabled());

    // Connecting puts a client first in the recent list: Ctrl+1 is the last one.
    for (const char* name : {"Alpha", "Baker & Sons"}) {
        Select(name);
        Find<QPushButton>(*form, "Button2")->click();
    }
    EXPECT_EQ(form->Favourite().Recent(),
              (std::vector<core::Client>{{"Baker & Sons", "204518"}, {"Alpha", "101"}}));
    EXPECT_TRUE(Find<QToolButton>(*form, "RecentButton")->isEnabled());
    Select("Carol Ltd");
    filter->setText(QStringLiteral("carol"));
    QTest::keyClick(form.get(), Qt::Key_2, Qt::ControlModifier);
    // The filter that hid it is cleared.
    EXPECT_EQ(filter->text(), QString());
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->ItemIndex(), 0);
    QTest::keyClick(form.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(StatusLine(*form), QStringLiteral("Only 2 recent connections"));
    EXPECT_TRUE(CloseWindow(*form));

    // None of it is in the book's files; all of it is there at the next start.
    for (const char* file : {"clientlist.txt", "clientIDlist.txt", "myviewer.ini"}) {
        EXPECT_EQ(folder.Read(file).find("\xE2\x98\x85"), std::string::npos) << file;
    }
    EXPECT_FALSE(folder.Exists(core::NotesFile));
    Start();
    EXPECT_EQ(ShownCell(*form, 2, 0), QStringLiteral("\u2605 Carol Ltd"));
    EXPECT_EQ(form->Favourite().Recent().size(), 2u);
}
