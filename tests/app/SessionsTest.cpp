// The session log through the window: each connection logged with its start and end as the
// viewer's process tells them, a note written after, the dialog's range and client, the export,
// and a program killed during a session.
#include "app/ConnectionLog.h"
#include "app/ListBox.h"
#include "app/SessionLogDialog.h"
#include "app/UserSettings.h"
#include "core/SessionLog.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTimer>

namespace {

class Sessions : public ::testing::Test {
protected:
    Sessions() {
        folder.Write("clientlist.txt", "Alpha\r\nBaker & Sons\r\n");
        folder.Write("clientIDlist.txt", "101\r\n204518\r\n");
        folder.InstallViewer();
    }

    void Connect(const std::string& name) {
        const auto& items = Find<ListBox>(*form, "ListBox1")->Items();
        const auto at = std::find(items.begin(), items.end(), name);
        ASSERT_NE(at, items.end());
        Find<ListBox>(*form, "ListBox1")->SetItemIndex(static_cast<int>(at - items.begin()));
        Find<QPushButton>(*form, "Button2")->click();
    }

    std::vector<core::Session> Logged() const {
        return core::ReadSessions(
            folder.Exists(core::SessionsFile) ? folder.Read(core::SessionsFile) : std::string());
    }

    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(Sessions, AConnectionIsLoggedWithHowLongTheViewerRanAndHowItEnded) {
    // A session of the system's without USER (a service, a container) still says who connected.
    const QByteArray user = qgetenv("USER");
    qunsetenv("USER");
    const auto restore = qScopeGuard([&] {
        if (!user.isEmpty()) {
            qputenv("USER", user);
        }
    });
    form = folder.Start();
    // A book nobody connected from has no log.
    EXPECT_FALSE(folder.Exists(core::SessionsFile));
    folder.Write("viewer-hold", "");
    Connect("Baker & Sons");
    ASSERT_TRUE(WaitFor([&] { return folder.Exists("viewer-args"); }));
    std::vector<core::Session> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].client, (core::Client{"Baker & Sons", "204518"}));
    EXPECT_EQ(logged[0].technician, ThisUserName());
    EXPECT_FALSE(logged[0].technician.empty());
    EXPECT_EQ(logged[0].how, core::Session::Ended::Unknown);
    // The viewer runs a couple of seconds, then the technician closes it.
    QTest::qWait(2200);
    std::remove(folder.File("viewer-hold").c_str());
    ASSERT_TRUE(WaitFor([&] { return Logged()[0].how != core::Session::Ended::Unknown; }));
    logged = Logged();
    EXPECT_EQ(logged[0].how, core::Session::Ended::Ok);
    EXPECT_GE(core::DurationSeconds(logged[0]), 2);
    EXPECT_LE(core::DurationSeconds(logged[0]), 4);

    // A viewer that fails (a wrong password, say) is logged as an error with what it said.
    folder.Write("viewer-exit", "3");
    Connect("Alpha");
    ASSERT_TRUE(WaitFor([&] { return Logged().size() == 2 && !Logged()[1].end.empty(); }));
    logged = Logged();
    EXPECT_EQ(logged[1].how, core::Session::Ended::Error);
    EXPECT_EQ(logged[1].line, "The viewer ended with code 3");

    // The dialog: the selected client's sessions or all, a note typed after the session, and
    // every row shown exported.
    Find<ListBox>(*form, "ListBox1")->SetItemIndex(1);
    QTimer::singleShot(0, [&] {
        auto* dialog = form->findChild<SessionLogDialog*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->Shown().size(), 1u);
        auto* who = dialog->findChild<QComboBox*>(QStringLiteral("SessionClient"));
        who->setCurrentIndex(1);
        EXPECT_EQ(dialog->Shown().size(), 2u);
        // Newest first.
        EXPECT_EQ(dialog->Shown()[0].client.name, "Alpha");
        auto* view = dialog->findChild<QTableView*>(QStringLiteral("SessionTable"));
        view->model()->setData(view->model()->index(1, 7), QStringLiteral("Billed: 15 min"));
        // Days before any session show none.
        dialog->SetRange(QDate::currentDate().addDays(-10), QDate::currentDate().addDays(-1));
        EXPECT_TRUE(dialog->Shown().empty());
        dialog->SetRange(QDate::currentDate(), QDate::currentDate());
        EXPECT_TRUE(dialog->ExportTo(QString::fromStdString(folder.File("billing.csv"))));
        dialog->reject();
    });
    form->ShowSessionLog();
    EXPECT_EQ(Logged()[0].note, "Billed: 15 min");
    const std::string csv = folder.Read("billing.csv");
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "start,end,client,id,technician,duration_seconds,ended,note");
    EXPECT_NE(csv.find(",Alpha,101,"), std::string::npos);
    EXPECT_NE(csv.find(",error: The viewer ended with code 3,"), std::string::npos);
    EXPECT_NE(csv.find(",Baker & Sons,204518,"), std::string::npos);
    EXPECT_NE(csv.find(",ok,Billed: 15 min\r\n"), std::string::npos);
    // Start and end with this computer's offset from UTC.
    const QString start = QString::fromStdString(csv.substr(csv.find("\r\n") + 2, 25));
    EXPECT_TRUE(QDateTime::fromString(start, Qt::ISODate).isValid()) << start.toStdString();
    EXPECT_TRUE(start.contains(QLatin1Char('+')) || start.contains(QLatin1Char('-')));
    EXPECT_TRUE(CloseWindow(*form));
    // The lists keep their bytes.
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker & Sons\r\n");
}

// The program killed while its viewer runs: the session keeps its start, and its end reads
// unknown, never a time the program did not see.
TEST_F(Sessions, AProgramKilledDuringASessionLeavesItsEndUnknown) {
    folder.Write("viewer-hold", "");
    QProcess copy;
    copy.setProgram(QStringLiteral(SCRIPTED_COPY));
    const QString ready = QString::fromStdString(folder.File("ready"));
    copy.setArguments({QString::fromStdString(folder.Path()), QStringLiteral("connect:Alpha"),
                       QStringLiteral("tell:") + ready,
                       QStringLiteral("wait:") + ready + QStringLiteral("-never")});
    copy.start();
    ASSERT_TRUE(WaitFor([&] { return folder.Exists("ready") && folder.Exists("viewer-args"); }));
    copy.kill();
    ASSERT_TRUE(copy.waitForFinished(5000));
    std::remove(folder.File("viewer-hold").c_str());
    QTest::qWait(300);
    const std::vector<core::Session> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].how, core::Session::Ended::Unknown);
    EXPECT_EQ(logged[0].end, "");

    // The export without a window writes it so.
    QProcess program;
    program.start(QStringLiteral(PROGRAM),
                  {QStringLiteral("--book-folder"), QString::fromStdString(folder.Path()),
                   QStringLiteral("--export-sessions"),
                   QString::fromStdString(folder.File("all.csv"))});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const std::string csv = folder.Read("all.csv");
    EXPECT_NE(csv.find(",Alpha,101,"), std::string::npos);
    EXPECT_NE(csv.find(",,unknown,\r\n"), std::string::npos) << csv;
}
