// The connection end to end with real parts: x11vnc serves a customer's private X screen and
// calls a test repeater; the window connects the system's viewer, which shows on a second
// private screen.
#include "app/ListBox.h"
#include "app/UserSettings.h"
#include "app/ViewerSessions.h"
#include "controls/Numedit.h"
#include "core/SessionLog.h"
#include "support/ChildProcesses.h"
#include "support/FormAccess.h"
#include "support/PrivateDisplay.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"
#include "support/TestRepeater.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr unsigned Magenta = 0xFF00FF;
constexpr int CustomerWidth = 320;
constexpr int CustomerHeight = 240;

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every process's command line that holds the text.
std::vector<std::string> CommandLinesHolding(const std::string& text) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string line = ReadAll(entry.path() / "cmdline");
        if (line.find(text) != std::string::npos) {
            std::replace(line.begin(), line.end(), '\0', ' ');
            found.push_back(name + ": " + line);
        }
    }
    return found;
}

// The viewers this process started: they outlive the window by design, not the test.
void StopViewers() {
    for (const int pid : ChildProcessesRunning("vncviewer")) {
        ::kill(-pid, SIGKILL);
    }
}

class Connect : public ::testing::Test {
protected:
    void SetUp() override {
        UserSettings().remove(ViewerSessions::ChoiceKey());
        UserSettings().remove(ViewerSessions::WaitKey());
        ASSERT_FALSE(customer.Name().isEmpty()) << "Xvfb did not start";
        ASSERT_FALSE(technician.Name().isEmpty()) << "Xvfb did not start";
        customer.Paint(Magenta);
        // The viewer shows on the technician's screen; the window itself stays offscreen.
        qputenv("DISPLAY", technician.Name().toLatin1());
        folder.Write("clientlist.txt", "Someone %1 else\r\nCustomer\r\n");
        folder.Write("clientIDlist.txt", "100001\r\n" + id + "\r\n");
        form = folder.Start();
        Find<QRadioButton>(*form, "RadioButton10")->setChecked(true);
        Find<QLineEdit>(*form, "Edit2")->setText(QStringLiteral("127.0.0.1"));
        Find<TNumEdit>(*form, "NumEdit2")->setText(QString::number(repeater.ViewerPort()));
    }

    void TearDown() override {
        form.reset();
        StopViewers();
        UserSettings().remove(ViewerSessions::WaitKey());
    }

    void StorePassword(const QString& password) {
        Find<QCheckBox>(*form, "CheckBox3")->setChecked(true);
        Find<QLineEdit>(*form, "Edit4")->setText(password);
    }

    // The customer's x11vnc, once the repeater holds it.
    std::unique_ptr<CustomerServer> Serve(const QString& password) {
        auto server = std::make_unique<CustomerServer>(
            customer, password, QString::fromStdString(id), repeater.ServerPort());
        EXPECT_TRUE(WaitFor([&] { return repeater.ServersWaiting() == 1; }, 20000))
            << "x11vnc did not reach the repeater";
        return server;
    }

    void ConnectToCustomer() {
        ClickClient(*form, 1);
        QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
        // The connection is made once the keyring's read at start has answered.
        WaitFor([&] { return !form->KeyringWait(); });
    }

    bool DesktopShown() const {
        return technician.Count(Magenta) >= CustomerWidth * CustomerHeight / 2;
    }

    QString Status() const { return StatusLine(*form); }

    const std::string id = "271828";
    TestRepeater repeater;
    PrivateDisplay customer{CustomerWidth, CustomerHeight};
    PrivateDisplay technician{640, 480};
    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
};

TEST_F(Connect, TheCustomersDesktopReachesTheTechniciansScreenAndThePasswordNoCommandLine) {
    const QString password = QStringLiteral("Mbv27ok!");
    auto server = Serve(password);
    // With no viewer in Bin, the system's is the one chosen.
    ASSERT_TRUE(Find<QRadioButton>(*form, "ViewerSystemButton")->isChecked());
    StorePassword(password);
    ConnectToCustomer();
    EXPECT_TRUE(sink.errors.isEmpty()) << sink.errors.join(u'\n').toStdString();

    ASSERT_TRUE(WaitFor([&] { return DesktopShown(); }, 30000))
        << "magenta pixels: " << technician.Count(Magenta) << ", on the customer's screen "
        << customer.Count(Magenta) << "; " << Status().toStdString() << " "
        << sink.notices.join(u'\n').toStdString();
    // The selected client's ID, and no other, was asked of the repeater.
    EXPECT_EQ(repeater.ViewerIds(), std::vector<std::string>{"ID:" + id});
    EXPECT_TRUE(WaitFor([&] {
        return Status() == u"Connected without the encryption plug-in: the system's viewer "
                           u"cannot use it";
    }));
    // The password went to the viewer's input: no command line shows it, and the connect wrote
    // no file at all.
    EXPECT_EQ(CommandLinesHolding(password.toStdString()), std::vector<std::string>{});
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    for (const auto& file : std::filesystem::recursive_directory_iterator(folder.Path())) {
        EXPECT_EQ(ReadAll(file.path()).find(password.toStdString()), std::string::npos)
            << file.path();
    }

    // A second connection while the first runs: it has nobody behind its ID and is given up,
    // and the first goes on.
    UserSettings().setValue(ViewerSessions::WaitKey(), 3);
    ClickClient(*form, 0);
    QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !sink.notices.isEmpty(); }, 20000));
    // A name holding "%1" stays the name in the message.
    EXPECT_EQ(sink.notices.last(),
              QStringLiteral("No answer from Someone %1 else (ID 100001) through the repeater at "
                             "127.0.0.1:") +
                  QString::number(repeater.ViewerPort()) +
                  QStringLiteral(" within 3 seconds: the client's computer may be off or not "
                                 "connected to the repeater."));
    EXPECT_TRUE(DesktopShown());

    // The customer's side goes away: the connection is made again, and with nobody answering
    // any more, that is reported once the wait is over.
    server.reset();
    EXPECT_TRUE(
        WaitFor([&] { return Status().contains(u"dropped: connecting again (1 of 3)"); }, 15000))
        << Status().toStdString();
    ASSERT_TRUE(WaitFor([&] { return sink.notices.size() == 2; }, 20000));
    EXPECT_EQ(sink.notices.last(),
              QStringLiteral("No answer from Customer (ID %1) through the repeater at "
                             "127.0.0.1:%2 within 3 seconds: the client's computer may be off "
                             "or not connected to the repeater.")
                  .arg(QString::fromStdString(id))
                  .arg(repeater.ViewerPort()));
    EXPECT_EQ(repeater.ViewerIds(),
              (std::vector<std::string>{"ID:" + id, "ID:100001", "ID:" + id}));
}

TEST_F(Connect, AViewerTheTechnicianClosesIsNotStartedAgain) {
    auto server = Serve(QStringLiteral("pw"));
    StorePassword(QStringLiteral("pw"));
    ConnectToCustomer();
    ASSERT_TRUE(WaitFor([&] { return DesktopShown(); }, 30000));
    // The customer's desktop stays on screen a few seconds.
    QTest::qWait(3000);
    technician.CloseWindows();
    EXPECT_TRUE(WaitFor([&] {
        return Status() == u"The connection to Customer (ID 271828) ended";
    })) << Status().toStdString();
    // Past the pause a dropped connection waits before it is made again: nothing is.
    QTest::qWait(2500);
    EXPECT_EQ(repeater.ViewerIds().size(), 1U);
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'\n').toStdString();
    // The session log has it: the client, ended ok, as long as the viewer ran.
    const std::vector<core::Session> logged = core::ReadSessions(folder.Read(core::SessionsFile));
    ASSERT_EQ(logged.size(), 1U);
    EXPECT_EQ(logged[0].client, (core::Client{"Customer", id}));
    EXPECT_EQ(logged[0].how, core::Session::Ended::Ok);
    EXPECT_GE(core::DurationSeconds(logged[0]), 3);
    EXPECT_LE(core::DurationSeconds(logged[0]), 30);
}

TEST_F(Connect, AWrongPasswordOrAnUnreachableRepeaterIsToldInTheViewersOwnWords) {
    auto server = Serve(QStringLiteral("right"));
    StorePassword(QStringLiteral("wrong"));
    ConnectToCustomer();
    ASSERT_TRUE(WaitFor([&] { return !sink.notices.isEmpty(); }, 30000));
    EXPECT_TRUE(sink.notices.last().startsWith(
        QStringLiteral("Could not connect to Customer (ID %1): ").arg(QString::fromStdString(id))))
        << sink.notices.last().toStdString();
    EXPECT_TRUE(sink.notices.last().contains(u"password check failed"))
        << sink.notices.last().toStdString();
    EXPECT_FALSE(DesktopShown());
    // Logged as an error with the viewer's line.
    const std::vector<core::Session> logged = core::ReadSessions(folder.Read(core::SessionsFile));
    ASSERT_EQ(logged.size(), 1U);
    EXPECT_EQ(logged[0].how, core::Session::Ended::Error);
    EXPECT_NE(logged[0].line.find("password check failed"), std::string::npos) << logged[0].line;

    // A repeater nobody listens for: the viewer's own words again.
    Find<TNumEdit>(*form, "NumEdit2")->setText(QStringLiteral("1"));
    ConnectToCustomer();
    ASSERT_TRUE(WaitFor([&] { return sink.notices.size() == 2; }, 30000));
    EXPECT_EQ(sink.notices.last(),
              QStringLiteral("Could not connect to Customer (ID %1): Unable to connect to VNC "
                             "server (127.0.0.1:1)")
                  .arg(QString::fromStdString(id)));
}

TEST_F(Connect, WithoutAStoredPasswordTheViewerAsksAndIsNotGivenUpWhileItDoes) {
    UserSettings().setValue(ViewerSessions::WaitKey(), 2);
    auto server = Serve(QStringLiteral("pw"));
    ConnectToCustomer();
    // Its own password box is on the technician's screen; the wait was for the repeater only.
    EXPECT_TRUE(WaitFor([&] { return technician.Count(0x000000) < 640 * 480; }, 20000));
    QTest::qWait(3000);
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'\n').toStdString();
    EXPECT_TRUE(Status().startsWith(u"Connecting to Customer")) << Status().toStdString();
}

TEST_F(Connect, AnIdWithNothingBehindItIsReportedAfterTheWaitAndTheViewerEnded) {
    UserSettings().setValue(ViewerSessions::WaitKey(), 2);
    ConnectToCustomer();
    EXPECT_TRUE(Status().startsWith(u"Connecting to Customer (ID 271828) through the repeater"))
        << Status().toStdString();
    ASSERT_TRUE(WaitFor([&] { return !sink.notices.isEmpty(); }, 20000));
    EXPECT_TRUE(sink.notices.last().startsWith(u"No answer from Customer (ID 271828)"));
    EXPECT_EQ(repeater.ViewerIds(), std::vector<std::string>{"ID:" + id});
    // Given up means ended: no viewer is left waiting at the repeater.
    EXPECT_TRUE(WaitFor([] { return ChildProcessesRunning("vncviewer").empty(); }));
}

TEST_F(Connect, TheChoiceIsTheTechniciansAndNeitherViewerIsNamedWithBoth) {
    // Picked once, remembered per user and never in the book's settings file.
    QTest::mouseClick(Find<QRadioButton>(*form, "ViewerBinButton"), Qt::LeftButton);
    EXPECT_EQ(UserSettings().value(ViewerSessions::ChoiceKey()).toString(), u"bin");
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("myviewer.ini").find("viewer]"), std::string::npos);
    form = folder.Start();
    EXPECT_TRUE(Find<QRadioButton>(*form, "ViewerBinButton")->isChecked());

    // Neither a viewer in Bin nor one installed: one message names the folder and the package.
    QTest::mouseClick(Find<QRadioButton>(*form, "ViewerSystemButton"), Qt::LeftButton);
    Find<QLineEdit>(*form, "Edit2")->setText(QStringLiteral("127.0.0.1"));
    Find<TNumEdit>(*form, "NumEdit2")->setText(QString::number(repeater.ViewerPort()));
    Find<QRadioButton>(*form, "RadioButton10")->setChecked(true);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    for (const char* button : {"ViewerSystemButton", "ViewerBinButton"}) {
        QTest::mouseClick(Find<QRadioButton>(*form, button), Qt::LeftButton);
        ConnectToCustomer();
        ASSERT_FALSE(sink.errors.isEmpty()) << button;
        EXPECT_EQ(sink.errors.last(), QString::fromStdString("No VNC viewer was found: put "
                                                             "vncviewer.exe in " +
                                                             folder.Path() +
                                                             "Bin, or install the package ssvnc "
                                                             "for the system's VNC viewer."));
    }
    qputenv("PATH", path);
    EXPECT_TRUE(repeater.ViewerIds().empty());

    // A port the viewer would read as something else is refused before anything starts.
    QTest::mouseClick(Find<QRadioButton>(*form, "ViewerSystemButton"), Qt::LeftButton);
    Find<QLineEdit>(*form, "Edit2")->setText(QStringLiteral("-via evil"));
    ConnectToCustomer();
    EXPECT_TRUE(sink.errors.last().startsWith(u"Cannot connect: the repeater address"));
    EXPECT_TRUE(repeater.ViewerIds().empty());
}

} // namespace
