// A copy of the program driven by a script, for tests of two real processes on one book:
//   ScriptedCopy FOLDER STEP...
// with the steps "add:NAME:ID", "remove:NAME" (answering yes to the question a shared book
// asks), "edit:NAME:NEW NAME", "undo", "redo" (the keys), "quality:N", "tell:FILE" (writes FILE
// once the window has done what came before), "wait:FILE" (runs the event loop until FILE
// exists), "said:TEXT" (runs the event loop until the status line starts with TEXT), and at the
// end the window closes as the user would. Messages go to standard output, one a line.
// For a shared book: "share:URL" (the URL's colons as %3A; connected once the step is done),
// "move:NAME:STEP" (-1 up, 1 down), "shows:NAME" and "lacks:NAME" (run the event loop until the
// list shows NAME, or no longer does); the password comes from PGPASSWORD. "note:NAME:TEXT"
// types TEXT as the note of the client NAME in its tags and note pane; "connect:NAME" connects
// to the client NAME.
#include "app/ClientTable.h"
#include "app/Keyring.h"
#include "app/ListBox.h"
#include "app/Messages.h"
#include "app/NotesPane.h"
#include "app/Unit1.h"
#include "platform/Files.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

class PrintingSink final : public MessageSink {
public:
    void ShowMessage(const QString& text) override { Print(text); }
    void ShowError(const QString& text) override { Print(text); }
    bool Ask(const QString& text) override {
        Print(text);
        return answer;
    }
    // The answer to a question: no, unless a step says otherwise.
    bool answer = false;
    void ShowNotice(const QString& text) override { Print(text); }

private:
    static void Print(const QString& text) {
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
};

// No keyring, whatever the machine has: a shared book's password is then the environment's, and
// the copy's close never makes a keyring choice in the user settings it shares with the test.
class NoKeyring final : public Keyring {
public:
    void Read(const QString&, Done done) override { done(Answer::Failed, {}); }
    void Write(const QString&, const QString&, Done done) override { done(Answer::Failed, {}); }
    void Remove(const QString&, Done done) override { done(Answer::Failed, {}); }
};

template <class W> W* Find(const TForm1& form, const char* name) {
    return form.findChild<W*>(QString::fromLatin1(name));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    platform::SetExecutablePathForTesting(std::string(argv[1]) + "MyBrindleViewer");
    PrintingSink sink;
    SetMessageSink(&sink);
    NoKeyring keyring;
    SetKeyring(&keyring);
    auto form = std::make_unique<TForm1>();
    form->FormCreate();
    form->show();
    for (int i = 2; i < argc; ++i) {
        const QString step = QString::fromUtf8(argv[i]);
        const QStringList parts = step.split(QLatin1Char(':'));
        const QString& verb = parts.front();
        if (verb == QStringLiteral("add")) {
            Find<QLineEdit>(*form, "Edit1")->setText(parts.value(1));
            Find<QLineEdit>(*form, "NumEdit1")->setText(parts.value(2));
            Find<QPushButton>(*form, "Button1")->click();
        } else if (verb == QStringLiteral("remove")) {
            Find<QLineEdit>(*form, "FilterEdit")->setText(parts.value(1));
            QTest::keyClick(Find<QLineEdit>(*form, "FilterEdit"), Qt::Key_Down);
            // A shared book asks before a removal that reaches the team: the script means it.
            sink.answer = true;
            Find<QPushButton>(*form, "Button3")->click();
            sink.answer = false;
            Find<QLineEdit>(*form, "FilterEdit")->clear();
        } else if (verb == QStringLiteral("edit")) {
            auto* names = Find<ListBox>(*form, "ListBox1");
            const auto& items = names->Items();
            const auto at = std::find(items.begin(), items.end(), parts.value(1).toStdString());
            if (at != items.end()) {
                BookTableModel& model = Find<ClientTable>(*form, "BookTable")->Model();
                const int row = static_cast<int>(at - items.begin());
                model.setData(model.index(model.PlaceOf(row), BookTableModel::Names),
                              parts.value(2), Qt::EditRole);
            }
        } else if (verb == QStringLiteral("note")) {
            auto* names = Find<ListBox>(*form, "ListBox1");
            const auto& items = names->Items();
            const auto at = std::find(items.begin(), items.end(), parts.value(1).toStdString());
            if (at != items.end()) {
                names->SetItemIndex(static_cast<int>(at - items.begin()));
                auto* note = Find<QPlainTextEdit>(*form, "NoteEdit");
                note->setPlainText(parts.mid(2).join(u':'));
                form->Notes().Flush();
            }
        } else if (verb == QStringLiteral("connect")) {
            auto* names = Find<ListBox>(*form, "ListBox1");
            const auto& items = names->Items();
            const auto at = std::find(items.begin(), items.end(), parts.value(1).toStdString());
            if (at != items.end()) {
                names->SetItemIndex(static_cast<int>(at - items.begin()));
                form->Button2Click();
            }
        } else if (verb == QStringLiteral("undo") || verb == QStringLiteral("redo")) {
            QTest::keyClick(form.get(), Qt::Key_Z,
                            verb == QStringLiteral("undo")
                                ? Qt::ControlModifier
                                : Qt::ControlModifier | Qt::ShiftModifier);
        } else if (verb == QStringLiteral("said")) {
            auto* line = Find<QLabel>(*form, "ListStatus");
            while (!line->property("wholeLine").toString().startsWith(parts.mid(1).join(u':'))) {
                QTest::qWait(10);
            }
        } else if (verb == QStringLiteral("quality")) {
            Find<QComboBox>(*form, "ComboBox1")->setCurrentText(parts.value(1));
        } else if (verb == QStringLiteral("tell")) {
            QFile(parts.value(1)).open(QIODevice::WriteOnly);
        } else if (verb == QStringLiteral("share")) {
            form->ShareBook(QUrl::fromPercentEncoding(parts.value(1).toUtf8()));
            auto* status = Find<QLabel>(*form, "SharedStatus");
            while (!status->text().startsWith(QStringLiteral("Shared:"))) {
                QTest::qWait(10);
            }
        } else if (verb == QStringLiteral("move")) {
            Find<QLineEdit>(*form, "FilterEdit")->setText(parts.value(1));
            QTest::keyClick(Find<QLineEdit>(*form, "FilterEdit"), Qt::Key_Down);
            const int row = Find<ListBox>(*form, "ListBox1")->ItemIndex();
            Find<QLineEdit>(*form, "FilterEdit")->clear();
            Find<ListBox>(*form, "ListBox1")->SetItemIndex(row);
            Find<QPushButton>(*form, parts.value(2) == QStringLiteral("-1") ? "Button4" : "Button5")
                ->click();
        } else if (verb == QStringLiteral("shows") || verb == QStringLiteral("lacks")) {
            const bool shows = verb == QStringLiteral("shows");
            const std::string name = parts.value(1).toStdString();
            const auto& items = Find<ListBox>(*form, "ListBox1")->Items();
            while ((std::find(items.begin(), items.end(), name) != items.end()) != shows) {
                QTest::qWait(10);
            }
        } else if (verb == QStringLiteral("wait")) {
            while (!QFile::exists(parts.value(1))) {
                QTest::qWait(10);
            }
        }
    }
    form->close();
    while (form->KeyringWait()) {
        QTest::qWait(10);
    }
    return form->isVisible() ? 1 : 0;
}
