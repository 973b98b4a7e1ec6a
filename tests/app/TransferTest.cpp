#include "app/BookTransfer.h"
#include "app/ListBox.h"
#include "core/ClientNotes.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <sys/stat.h>

namespace {

using Rows = std::vector<std::string>;

// Opens the preview of the files (dropped on the window, as a user drops them), lets the
// check act on the open dialog, and waits until the preview is closed again.
void Preview(TForm1& form, const QStringList& paths, const std::function<void(QDialog&)>& act) {
    bool opened = false;
    const QMetaObject::Connection watch =
        QObject::connect(&form.Transfer(), &BookTransfer::PreviewOpened, &form, [&] {
            opened = true;
            if (auto* dialog = form.findChild<QDialog*>(QStringLiteral("ImportDialog"))) {
                act(*dialog);
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            }
        });
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &drop);
    EXPECT_TRUE(WaitFor([&] { return opened; }));
    QObject::disconnect(watch);
}

QString Counts(QDialog& dialog) {
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text().contains(QStringLiteral(" new "))) {
            return label->text();
        }
    }
    return {};
}

} // namespace

TEST(Transfer, APreviewedFileAddsTheTickedRowsAtTheEndAsOneStepThatUndoes) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Acme\r\nGlobex\r\n");
    folder.Write("clientIDlist.txt", "42\r\n7\r\n");
    folder.Write("team.csv", "name;id\r\nNew One;100\r\nNew Two;200\r\nGlobex again;7\r\n"
                             "Broken;12x\r\n");
    std::unique_ptr<TForm1> form = folder.Start();
    auto* names = Find<ListBox>(*form, "ListBox1");
    auto* ids = Find<ListBox>(*form, "ListBox2");

    Preview(*form, {QString::fromStdString(folder.File("team.csv"))}, [](QDialog& dialog) {
        EXPECT_EQ(Counts(dialog).toStdString(),
                  "2 new \xC2\xB7 1 already in your book (same ID) \xC2\xB7 1 without a usable "
                  "ID (skipped)");
        QAbstractItemModel* rows = dialog.findChild<QTableView*>()->model();
        // A skipped row cannot be ticked; the user unticks the second new one.
        EXPECT_FALSE(rows->setData(rows->index(3, 0), Qt::Checked, Qt::CheckStateRole));
        EXPECT_EQ(rows->index(3, 2).data().toString(),
                  QStringLiteral("the ID holds more than digits"));
        EXPECT_TRUE(rows->setData(rows->index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
        dialog.accept();
    });
    EXPECT_EQ(names->Items(), (Rows{"Acme", "Globex", "New One"}));
    EXPECT_EQ(ids->Items(), (Rows{"42", "7", "100"}));
    EXPECT_EQ(StatusLine(*form), QStringLiteral("Imported 1 client \u00B7 Ctrl+Z undoes"));

    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(Find<QLineEdit>(*form, "FilterEdit"), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(names->Items(), (Rows{"Acme", "Globex"}));
    EXPECT_EQ(ids->Items(), (Rows{"42", "7"}));

    // Cancel changes nothing either.
    Preview(*form, {QString::fromStdString(folder.File("team.csv"))},
            [](QDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(names->Items(), (Rows{"Acme", "Globex"}));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Acme\r\nGlobex\r\n");
    EXPECT_TRUE(sink.messages.isEmpty()) << sink.messages.join(u'\n').toStdString();
}

TEST(Transfer, TheFieldPickedForTheIdsDecidesWhatIsImported) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Acme\r\n");
    folder.Write("clientIDlist.txt", "31\r\n");
    folder.Write("confCons.xml",
                 "<Connections><Node Name=\"Desk\" Type=\"Connection\" Hostname=\"pc\" "
                 "Descr=\"ID:11\" UserField=\"21\"/><Node Name=\"Till\" Type=\"Connection\" "
                 "Hostname=\"till\" Descr=\"\" UserField=\"31\"/></Connections>");
    std::unique_ptr<TForm1> form = folder.Start();
    Preview(*form, {QString::fromStdString(folder.File("confCons.xml"))}, [](QDialog& dialog) {
        auto* field = dialog.findChild<QComboBox*>();
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->currentText(), QStringLiteral("Descr"));
        EXPECT_EQ(Counts(dialog).toStdString(),
                  "1 new \xC2\xB7 0 already in your book (same ID) \xC2\xB7 1 without a usable "
                  "ID (skipped)");
        field->setCurrentText(QStringLiteral("UserField"));
        EXPECT_EQ(Counts(dialog).toStdString(),
                  "1 new \xC2\xB7 1 already in your book (same ID) \xC2\xB7 0 without a usable "
                  "ID (skipped)");
        dialog.accept();
    });
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), (Rows{"Acme", "Desk"}));
    EXPECT_EQ(Find<ListBox>(*form, "ListBox2")->Items(), (Rows{"31", "21"}));
}

TEST(Transfer, AFileThatCannotBeReadIsNamedAndChangesNothing) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Acme\r\n");
    folder.Write("clientIDlist.txt", "42\r\n");
    folder.Write("open.csv", "name,id\r\nA,1\r\n\"B,2\r\n");
    folder.Write("bomb.xml", "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]>"
                             "<Connections/>");
    ASSERT_EQ(::mkfifo(folder.File("pipe.csv").c_str(), 0600), 0);
    std::unique_ptr<TForm1> form = folder.Start();
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"open.csv", "Line 3 opens a quote that is never closed. Nothing was changed."},
        {"bomb.xml", "The XML file has a document type or entity declarations: refused, never "
                     "expanded. Nothing was changed."},
        {"pipe.csv",
         folder.File("pipe.csv") + " is not a file that can be imported. Nothing was changed."},
        {"gone.csv",
         "The file " + folder.File("gone.csv") + " is not there (any more). Nothing was changed."},
    };
    for (const auto& c : cases) {
        sink.messages.clear();
        Preview(*form, {QString::fromStdString(folder.File(c.file))},
                [](QDialog&) { ADD_FAILURE() << "a preview opened"; });
        EXPECT_EQ(sink.messages, QStringList{QString::fromStdString(c.message)}) << c.file;
    }
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), Rows{"Acme"});
}

TEST(Transfer, AFolderOfProfilesIsOneImportAndCancelGivesUpReading) {
    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form = folder.Start();
    sink.messages.clear(); // the first run's notices
    QDir(QString::fromStdString(folder.Path())).mkdir(QStringLiteral("profiles"));
    folder.Write("profiles/desk.remmina", "[remmina]\nname=Desk\nprotocol=VNC\n"
                                          "server=ID:5501\nproxy=repeater:5901\n");
    folder.Write("profiles/server.remmina", "[remmina]\nname=Server\nprotocol=RDP\n"
                                            "server=10.0.0.5\n");
    folder.Write("profiles/notes.txt", "not a profile");
    Preview(*form, {QString::fromStdString(folder.File("profiles"))}, [](QDialog& dialog) {
        EXPECT_EQ(Counts(dialog).toStdString(),
                  "1 new \xC2\xB7 0 already in your book (same ID) \xC2\xB7 1 without a usable "
                  "ID (skipped)");
        dialog.accept();
    });
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), Rows{"Desk"});

    // Cancel while the file is read: no preview follows, whenever the reading ends.
    folder.Write("big.csv", std::string(4 << 20, 'x') + ",1\r\n");
    bool opened = false;
    QObject::connect(&form->Transfer(), &BookTransfer::PreviewOpened, [&] { opened = true; });
    form->ImportFiles({QString::fromStdString(folder.File("big.csv"))});
    auto* progress = form->findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    // As the user presses it: the dialog shows only once reading takes a while.
    progress->findChild<QPushButton*>()->click();
    EXPECT_TRUE(WaitFor([&] { return form->findChild<QProgressDialog*>() == nullptr; }));
    EXPECT_FALSE(opened);
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), Rows{"Desk"});
    EXPECT_TRUE(sink.messages.isEmpty()) << sink.messages.join(u'\n').toStdString();
}

// A book and a copy of the program beside it: the program keeps its book beside itself.
void BookBesideTheProgram(const ProgramFolder& folder, const char* names, const char* ids) {
    folder.Write("clientlist.txt", names);
    folder.Write("clientIDlist.txt", ids);
    ASSERT_TRUE(QFile::copy(QStringLiteral(PROGRAM),
                            QString::fromStdString(folder.File("MyBrindleViewer"))));
}

TEST(Transfer, TheCommandLineExportsTheBookAndSaysWhyItCannot) {
    ProgramFolder folder;
    BookBesideTheProgram(folder, "Baker, Sons\r\nCaf\xE9\r\n", "204518\r\n9\r\n");
    const auto run = [&](const std::string& to, int& status) {
        QProcess program;
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QString::fromStdString(folder.File("MyBrindleViewer")),
                      {QStringLiteral("--export"), QString::fromStdString(to)});
        EXPECT_TRUE(program.waitForFinished(30000));
        status = program.exitCode();
        // Qt's own warnings aside: what the program says of itself.
        std::string said;
        for (const QByteArray& line : program.readAllStandardError().split('\n')) {
            if (line.startsWith("MyBrindleViewer:")) {
                said += line.toStdString() + '\n';
            }
        }
        return said;
    };
    int status = -1;
    EXPECT_EQ(run(folder.File("out.csv"), status), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(folder.Read("out.csv"), "name,id\r\n\"Baker, Sons\",204518\r\nCaf\xC3\xA9,9\r\n");

    const std::string error = run(folder.File("missing/out.csv"), status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(error, "MyBrindleViewer: Cannot write " + folder.File("missing/out.csv") + "\n");
}

// Reading and the first preview run off the window's thread; running out of memory there is
// said like any other failure, and the book, with an edit made before it, stays whole.
TEST(Transfer, AReadThatRunsOutOfMemoryIsSaidAndLosesNothing) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Acme\r\n");
    folder.Write("clientIDlist.txt", "42\r\n");
    folder.Write("deep.csv", "name,id\r\nA,1\r\n");
    std::unique_ptr<TForm1> form = folder.Start();
    Find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Kept"));
    Find<QLineEdit>(*form, "NumEdit1")->setText(QStringLiteral("9"));
    Find<QPushButton>(*form, "Button1")->click();

    std::atomic<bool> offTheWindowsThread{false};
    QThread* const windowThread = QThread::currentThread();
    BookTransfer::SetReadFaultForTesting([&] {
        offTheWindowsThread = QThread::currentThread() != windowThread;
        throw std::bad_alloc();
    });
    Preview(*form, {QString::fromStdString(folder.File("deep.csv"))},
            [](QDialog&) { ADD_FAILURE() << "a preview opened"; });
    BookTransfer::SetReadFaultForTesting(nullptr);
    EXPECT_TRUE(offTheWindowsThread);
    EXPECT_EQ(sink.messages, QStringList{QString::fromStdString(
                                 "There is not enough memory to read " + folder.File("deep.csv") +
                                 ". Nothing was changed.")});
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), (Rows{"Acme", "Kept"}));

    // The next import works, and the close keeps the client added before.
    Preview(*form, {QString::fromStdString(folder.File("deep.csv"))},
            [](QDialog& dialog) { dialog.accept(); });
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(), (Rows{"Acme", "Kept", "A"}));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Acme\r\nKept\r\nA\r\n");
}

// What the command line asks for without a window needs no display: the usage, the version,
// an option it does not know, and the export.
TEST(Transfer, TheCommandLineAnswersWithoutADisplay) {
    ProgramFolder folder;
    BookBesideTheProgram(folder, "Acme\r\n", "42\r\n");
    struct Row {
        QStringList arguments;
        int status;
        const char* out; // what standard output starts with
        const char* err; // what standard error starts with
    };
    const std::string csv = folder.File("out.csv");
    for (const Row& row : {
             Row{{QStringLiteral("--help")}, 0, "Usage: MyBrindleViewer [options]", ""},
             Row{{QStringLiteral("--version")}, 0, "My Brindle Viewer 1.0.1.35\n", ""},
             Row{{QStringLiteral("--bogus")}, 2, "", "MyBrindleViewer: Unknown option 'bogus'."},
             Row{{QStringLiteral("stray")}, 2, "", "MyBrindleViewer: unexpected argument"},
             Row{{QStringLiteral("--export"), QString::fromStdString(csv)}, 0, "", ""},
         }) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(QString::fromLatin1(display));
        }
        program.setProcessEnvironment(environment);
        program.start(QString::fromStdString(folder.File("MyBrindleViewer")), row.arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        const std::string said = row.arguments.join(u' ').toStdString();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << said;
        EXPECT_EQ(program.exitCode(), row.status) << said;
        EXPECT_TRUE(program.readAllStandardOutput().startsWith(row.out)) << said;
        const QByteArray err = program.readAllStandardError();
        EXPECT_TRUE(err.startsWith(row.err)) << said << ": " << err.toStdString();
        if (row.status == 2) {
            EXPECT_TRUE(err.contains("Usage: MyBrindleViewer [options]")) << said;
        }
    }
    EXPECT_EQ(folder.Read("out.csv"), "name,id\r\nAcme,42\r\n");
}

TEST(Transfer, ACsvThatNamesNoColumnsIsImportedOnlyAsTheUserChooses) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Z\xC3\xBCrich Uhren Atelier\r\nAcme\r\n");
    folder.Write("clientIDlist.txt", "778899\r\n42\r\n");
    const std::string longName = "Filiale " + std::string(120, 'x') + " Ende";
    folder.Write("kunden.csv", "Firma;Kundennr.;Fernwartungs-ID\r\n"
                               "Z\xC3\xBCrich Uhren Atelier;10044;204518\r\n" +
                                   longName + ";10045;300300\r\nAcme;10046;42\r\n");
    std::unique_ptr<TForm1> form = folder.Start();
    Preview(*form, {QString::fromStdString(folder.File("kunden.csv"))}, [&](QDialog& dialog) {
        const QList<QComboBox*> choices = dialog.findChildren<QComboBox*>();
        ASSERT_EQ(choices.size(), 2);
        // The column titled an ID holds the ID, not the customer number before it.
        EXPECT_EQ(choices[0]->currentText(), QStringLiteral("Fernwartungs-ID"));
        EXPECT_EQ(choices[1]->currentText(), QStringLiteral("Firma"));
        auto* table = dialog.findChild<QTableView*>();
        const QAbstractItemModel* rows = table->model();
        EXPECT_EQ(rows->index(0, 2).data().toString(),
                  QString::fromUtf8("same name, other ID (Z\xC3\xBCrich Uhren Atelier 778899)"));
        EXPECT_EQ(rows->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
        EXPECT_EQ(rows->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
        EXPECT_EQ(rows->index(2, 2).data().toString(),
                  QStringLiteral("the ID is in your book (Acme)"));
        // A long name shortened in its middle, whole in its tool tip.
        EXPECT_EQ(table->textElideMode(), Qt::ElideMiddle);
        EXPECT_EQ(rows->index(1, 0).data(Qt::ToolTipRole).toString().toStdString(), longName);
        EXPECT_EQ(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        dialog.accept();
    });
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->Items(),
              (Rows{"Z\xC3\xBCrich Uhren Atelier", "Acme", longName}));
    EXPECT_EQ(Find<ListBox>(*form, "ListBox2")->Items(), (Rows{"778899", "42", "300300"}));
}

// A file's tags and notes come in with its clients and go out with them again.
TEST(Transfer, TagsAndNotesComeInWithTheClientsAndLeaveWithThem) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Acme\r\n");
    folder.Write("clientIDlist.txt", "42\r\n");
    folder.Write("team.csv", "name,id,tags,note\r\nNew One,100,\"vip, berlin\",Gate 4711\r\n"
                             "New Two,200,,\r\n");
    std::unique_ptr<TForm1> form = folder.Start();
    Preview(*form, {QString::fromStdString(folder.File("team.csv"))},
            [](QDialog& dialog) { dialog.accept(); });
    EXPECT_EQ(ShownCell(*form, 1, BookTableModel::Tags), QStringLiteral("vip, berlin"));
    Find<QLineEdit>(*form, "FilterEdit")->setText(QStringLiteral("4711"));
    EXPECT_EQ(ShownCell(*form, 0, 0), QStringLiteral("New One"));
    Find<QLineEdit>(*form, "FilterEdit")->clear();
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Acme\r\nNew One\r\nNew Two\r\n");
    EXPECT_EQ(folder.Read(core::NotesFile), "New One\t100\tvip,berlin\tGate 4711\r\n");

    // The export without a window writes them as two more columns.
    QProcess program;
    program.start(QStringLiteral(PROGRAM),
                  {QStringLiteral("--book-folder"), QString::fromStdString(folder.Path()),
                   QStringLiteral("--export"), QString::fromStdString(folder.File("out.csv"))});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(folder.Read("out.csv"), "name,id,tags,note\r\nAcme,42,,\r\n"
                                      "New One,100,\"vip,berlin\",Gate 4711\r\nNew Two,200,,\r\n");
}
