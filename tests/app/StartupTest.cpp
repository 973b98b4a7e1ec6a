#include "app/ListBox.h"
#include "app/Unit1.h"
#include "controls/Numedit.h"
#include "core/Commit.h"
#include "net/IdIPWatch.h"
#include "support/FakeWinsock.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> Rows(TForm1& form, const char* list) {
    return Find<ListBox>(form, list)->Items().Strings();
}

const std::string FullSettings = "[quality]\r\n"
                                 "setting=5\r\n"
                                 "auto=1\r\n"
                                 "[repeater]\r\n"
                                 "lan=0\r\n"
                                 "address=1\r\n"
                                 "address2= 'repeater.example.net' \r\n"
                                 "[password]\r\n"
                                 "value=s3cret\r\n"
                                 "store=1\r\n"
                                 "[port]\r\n"
                                 "viewer=5901\r\n"
                                 "[autoscaling]\r\n"
                                 "setting=0\r\n"
                                 "[autoreconnect]\r\n"
                                 "setting=1\r\n";

} // namespace

TEST(Startup, FirstRunShowsTwoNoticesAndTheCloseWritesTheThreeFiles) {
    ProgramFolder folder;
    RecordingSink sink;
    auto form = folder.Start();

    EXPECT_EQ(sink.messages, (QStringList{FirstRunMessage(folder.Path() + "clientlist.txt"),
                                          FirstRunMessage(folder.Path() + "clientIDlist.txt")}));
    EXPECT_TRUE(sink.errors.isEmpty());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("My Brindle Viewer v1.0.1.35"));
    EXPECT_EQ(form->windowIcon().pixmap(QSize(16, 16)).size(), QSize(16, 16));
    EXPECT_EQ(Find<QTabWidget>(*form, "PageControl1")->currentIndex(), 0);
    EXPECT_EQ(Find<QLabel>(*form, "BookFolderLabel")->text(),
              QString::fromStdString("Your client book is kept in\n" + folder.Path()));
    EXPECT_EQ(Find<QLabel>(*form, "BookFolderLabel")->toolTip(),
              QString::fromStdString("Your client book is kept in " + folder.Path()));
    EXPECT_TRUE(Rows(*form, "ListBox1").empty());
    EXPECT_TRUE(Rows(*form, "ListBox2").empty());
    EXPECT_EQ(Find<QComboBox>(*form, "ComboBox1")->currentText(), QStringLiteral("3"));
    EXPECT_TRUE(Find<QRadioButton>(*form, "RadioButton9")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(*form, "RadioButton10")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>(*form, "NumEdit2")->text().isEmpty());
    EXPECT_FALSE(Find<QLineEdit>(*form, "Edit4")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>(*form, "CheckBox1")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(*form, "CheckBox3")->isChecked());
    EXPECT_EQ(Find<QLabel>(*form, "Label4")->text(), QStringLiteral(" -autoscaling"));
    EXPECT_EQ(Find<QLabel>(*form, "Label5")->text(), QStringLiteral(" -autoreconnect"));
    EXPECT_EQ(Find<QLabel>(*form, "Label6")->text(), QStringLiteral(" -connect"));
    EXPECT_EQ(Find<QComboBox>(*form, "ComboBox1")->toolTip(),
              QStringLiteral("1: Auto\n2: LAN\n3: Medium\n4: Modem\n5: Slow\n7: Ultra"));
    // The Settings page says in one line what a repeater's address and port are, below its
    // controls, whole at the window's smallest size.
    auto* line = Find<QLabel>(*form, "SettingsHint");
    auto* pages = Find<QTabWidget>(*form, "PageControl1");
    pages->setCurrentIndex(2);
    form->resize(form->minimumSize());
    form->show();
    QApplication::processEvents();
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().contains(QStringLiteral("address")));
    EXPECT_GE(line->height(), line->heightForWidth(line->width()));
    EXPECT_GT(line->y(), Find<QWidget>(*form, "GroupBox2")->geometry().bottom());
    EXPECT_LE(line->geometry().bottom(), line->parentWidget()->height());
    EXPECT_LE(line->geometry().right(), line->parentWidget()->width());
    pages->setCurrentIndex(0);

    folder.Write("vncviewer.bat", "old\r\n");
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "");
    EXPECT_EQ(folder.Read("myviewer.ini"), "[quality]\r\n"
                                           "setting=3\r\n"
                                           "auto=1\r\n"
                                           "[repeater]\r\n"
                                           "lan=1\r\n"
                                           "address=0\r\n"
                                           "address2=\r\n"
                                           "[password]\r\n"
                                           "value=\r\n"
                                           "store=0\r\n"
                                           "[port]\r\n"
                                           "viewer=\r\n"
                                           "[autoscaling]\r\n"
                                           "setting=1\r\n"
                                           "[autoreconnect]\r\n"
                                           "setting=0\r\n");
    EXPECT_EQ(folder.Mode("myviewer.ini"), 0600u);
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    EXPECT_EQ(sink.messages.size(), 2);
    EXPECT_TRUE(sink.errors.isEmpty());
    // Once the settings are written it is no first run.
    form = folder.Start();
    EXPECT_TRUE(Find<QLabel>(*form, "SettingsHint")->isHidden());
}

TEST(Startup, AFullSettingsFileFillsEveryControlAndRoundTrips) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("myviewer.ini", FullSettings);
    folder.Write("clientlist.txt", "Alpha\r\nBeta\r\n");
    folder.Write("clientIDlist.txt", "101\r\n202\r\n");
    auto form = folder.Start();

    EXPECT_TRUE(sink.messages.isEmpty());
    EXPECT_EQ(Rows(*form, "ListBox1"), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(Rows(*form, "ListBox2"), (std::vector<std::string>{"101", "202"}));
    EXPECT_EQ(Find<QComboBox>(*form, "ComboBox1")->currentText(), QStringLiteral("5"));
    EXPECT_FALSE(Find<QRadioButton>(*form, "RadioButton9")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(*form, "RadioButton10")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(*form, "Edit2")->text(), QStringLiteral("repeater.example.net"));
    EXPECT_EQ(Find<QLineEdit>(*form, "NumEdit2")->text(), QStringLiteral("5901"));
    EXPECT_TRUE(Find<QLineEdit>(*form, "Edit4")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(*form, "Edit4")->text(), QStringLiteral("s3cret"));
    EXPECT_EQ(Find<QLineEdit>(*form, "Edit7")->text(), QStringLiteral(" -password "));
    EXPECT_FALSE(Find<QCheckBox>(*form, "CheckBox1")->isChecked());
    EXPECT_EQ(Find<QCheckBox>(*form, "CheckBox1")->text(), QStringLiteral("no autoscaling"));
    EXPECT_TRUE(Find<QLabel>(*form, "Label4")->text().isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(*form, "CheckBox2")->isChecked());

    // Values that did not change keep their lines as written, spaces and quotes too.
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("myviewer.ini"), FullSettings);
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBeta\r\n");
}

TEST(Startup, RadioButtonsAndFlagForms) {
    struct Case {
        const char* lan;
        const char* address;
        bool nine;
        bool ten;
    };
    for (const Case c : {Case{"1", "1", false, true}, Case{"0", "0", false, false},
                         Case{"0x10", "yes", true, false}, Case{"$0", "2", false, true}}) {
        ProgramFolder folder;
        RecordingSink sink;
        folder.Write("myviewer.ini", std::string("[repeater]\r\nlan=") + c.lan +
                                         "\r\naddress=" + c.address + "\r\n");
        auto form = folder.Start();
        EXPECT_EQ(Find<QRadioButton>(*form, "RadioButton9")->isChecked(), c.nine) << c.lan;
        EXPECT_EQ(Find<QRadioButton>(*form, "RadioButton10")->isChecked(), c.ten) << c.address;
    }
}

TEST(Startup, StoredPasswordWithoutTheFlagStaysButTheFieldIsDisabled) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("myviewer.ini", "[password]\r\nvalue=hand edited\r\nstore=0\r\n"
                                 "[autoreconnect]\r\nsetting=0\r\n");
    auto form = folder.Start();
    EXPECT_FALSE(Find<QLineEdit>(*form, "Edit4")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(*form, "Edit4")->text(), QStringLiteral("hand edited"));
    EXPECT_TRUE(Find<QLineEdit>(*form, "Edit7")->text().isEmpty());
    // No handler ran for the auto-reconnect flag: the layout's texts stay.
    EXPECT_EQ(Find<QLabel>(*form, "Label5")->text(), QStringLiteral(" -autoreconnect"));
    EXPECT_EQ(Find<QLabel>(*form, "Label6")->text(), QStringLiteral(" -connect"));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_NE(folder.Read("myviewer.ini").find("value=hand edited\r\nstore=0\r\n"),
              std::string::npos);
}

TEST(Startup, ListFilesOfAnyShapeComeBackWithEveryRowAndByte) {
    ProgramFolder folder;
    RecordingSink sink;
    const std::string megabyte(1 << 20, 'm');
    folder.Write("clientlist.txt", "a\rb\nc\r\nd");
    folder.Write("clientIDlist.txt", "caf\xE9\r\n\xC3\xA9t\xC3\xA9\r\n" + megabyte + "\r\n\r\n" +
                                         std::string("x\0kept\r\nlast\r\n", 14));
    auto form = folder.Start();
    EXPECT_TRUE(sink.messages.isEmpty());
    EXPECT_EQ(Rows(*form, "ListBox1"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Rows(*form, "ListBox2"),
              (std::vector<std::string>{"caf\xE9", "\xC3\xA9t\xC3\xA9", megabyte, "",
                                        std::string("x\0kept", 6), "last"}));
    // Shown decoded: Windows-1252 where the row is not UTF-8.
    EXPECT_EQ(ShownCell(*form, 0, 1), QStringLiteral("caf\u00E9"));
    EXPECT_EQ(ShownCell(*form, 1, 1), QStringLiteral("\u00E9t\u00E9"));

    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "caf\xE9\r\n\xC3\xA9t\xC3\xA9\r\n" + megabyte +
                                                   "\r\n\r\n" +
                                                   std::string("x\0kept\r\nlast\r\n", 14));
}

TEST(Startup, ABigBookLoadsAndSavesWhole) {
    ProgramFolder folder;
    RecordingSink sink;
    std::string names;
    std::string ids;
    for (int i = 0; i < 100000; ++i) {
        names += "Client " + std::to_string(i) + "\r\n";
        ids += std::to_string(100000 + i) + "\r\n";
    }
    folder.Write("clientlist.txt", names);
    folder.Write("clientIDlist.txt", ids);
    auto form = folder.Start();
    EXPECT_EQ(Rows(*form, "ListBox1").size(), 100000u);
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), names);
    EXPECT_EQ(folder.Read("clientIDlist.txt"), ids);
}

TEST(Startup, UnknownAndOddLinesOfTheSettingsFileSurvive) {
    ProgramFolder folder;
    RecordingSink sink;
    const std::string longValue(10000, 'L');
    folder.Write("myviewer.ini", "\xEF\xBB\xBF; written by hand\r\n"
                                 "[quality]\r\n"
                                 "setting = \"2\"\r\n"
                                 "mine=kept\r\n"
                                 "garbage line\r\n"
                                 "[quality]\r\n"
                                 "setting=9\r\n"
                                 "[extra]\r\n"
                                 "long=" +
                                     longValue +
                                     "\r\n"
                                     "=no key\r\n");
    auto form = folder.Start();
    EXPECT_EQ(Find<QComboBox>(*form, "ComboBox1")->currentText(), QStringLiteral("2"));
    ASSERT_TRUE(CloseWindow(*form));
    const std::string ini = folder.Read("myviewer.ini");
    const std::string head = "\xEF\xBB\xBF; written by hand\r\n"
                             "[quality]\r\n"
                             "setting = \"2\"\r\n"
                             "mine=kept\r\n"
                             "garbage line\r\n"
                             "auto=1\r\n"
                             "[quality]\r\n"
                             "setting=9\r\n";
    EXPECT_EQ(ini.substr(0, head.size()), head);
    EXPECT_NE(ini.find("[extra]\r\nlong=" + longValue + "\r\n=no key\r\n[repeater]\r\n"),
              std::string::npos);
}

TEST(Startup, AFailedSaveIsReportedReplacesNothingAndAsksBeforeLettingGo) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Alpha\r\n");
    folder.Write("clientIDlist.txt", "1\r\n");
    // The ID list cannot be replaced: its name is taken by a folder.
    auto form = folder.Start();
    folder.Write("vncviewer.bat", "line\r\n");
    std::filesystem::remove(folder.File("clientIDlist.txt"));
    std::filesystem::create_directory(folder.File("clientIDlist.txt"));

    EXPECT_FALSE(CloseWindow(*form));
    const std::string ids = folder.Path() + "clientIDlist.txt";
    EXPECT_EQ(sink.errors, QStringList{QString::fromStdString("Cannot create file " + ids + ".")});
    EXPECT_EQ(sink.questions, QStringList{QString::fromStdString(
                                  "Close anyway and lose the changes to " + ids + "?")});
    // The close stopped there: no settings, and the batch file stays.
    EXPECT_FALSE(folder.Exists("myviewer.ini"));
    EXPECT_TRUE(folder.Exists("vncviewer.bat"));
    EXPECT_TRUE(form->isVisible());

    // The settings file cannot be written either: the lists, one commit with it, stay as
    // they were.
    std::filesystem::remove(folder.File("clientIDlist.txt"));
    std::filesystem::create_directory(folder.File("myviewer.ini"));
    folder.Write("clientlist.txt", "old\r\n");
    EXPECT_FALSE(CloseWindow(*form));
    EXPECT_EQ(sink.errors.last(),
              QString::fromStdString("Unable to write to " + folder.Path() + "myviewer.ini."));
    EXPECT_EQ(folder.Read("clientlist.txt"), "old\r\n");
    EXPECT_FALSE(folder.Exists("clientIDlist.txt"));

    // Yes lets the window go with nothing saved.
    sink.answer = true;
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "old\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("myviewer.ini")));
}

// Past its commit point a close is finished by the next start: closing then loses nothing, and
// the question says so.
TEST(Startup, ACloseCutOffPastItsCommitPointIsFinishedAtTheNextStartAndSaysSo) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Alpha\r\n");
    folder.Write("clientIDlist.txt", "1\r\n");
    auto form = folder.Start();
    Find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Baker"));
    Find<TNumEdit>(*form, "NumEdit1")->setText(QStringLiteral("2"));
    QTest::mouseClick(Find<QPushButton>(*form, "Button1"), Qt::LeftButton);
    // The names list's rename fails once the record stands: its name is taken by a folder.
    core::SetCommitStepHookForTesting([&](core::CommitStep step) {
        if (step == core::CommitStep::RecordWritten) {
            std::filesystem::remove(folder.File("clientlist.txt"));
            std::filesystem::create_directory(folder.File("clientlist.txt"));
        }
    });
    sink.answer = true;
    EXPECT_TRUE(CloseWindow(*form));
    core::SetCommitStepHookForTesting(nullptr);
    const std::string names = folder.Path() + "clientlist.txt";
    EXPECT_EQ(sink.questions,
              QStringList{QString::fromStdString("Close anyway? Your changes are kept and written "
                                                 "to " +
                                                 names + " at the next start.")});
    form.reset();

    std::filesystem::remove(folder.File("clientlist.txt"));
    auto next = folder.Start();
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "1\r\n2\r\n");
}

TEST(Startup, AFailedSaveThatIsMendedSavesAtTheNextClose) {
    ProgramFolder folder;
    RecordingSink sink;
    auto form = folder.Start();
    std::filesystem::create_directory(folder.File("myviewer.ini"));
    EXPECT_FALSE(CloseWindow(*form));
    std::filesystem::remove(folder.File("myviewer.ini"));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_TRUE(folder.Exists("myviewer.ini"));
    EXPECT_TRUE(folder.Exists("clientlist.txt"));
}

TEST(Startup, AReadOnlyFolderKeepsTheOldFiles) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the super-user";
    }
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("clientlist.txt", "Alpha\r\n");
    auto form = folder.Start();
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::owner_exec);
    EXPECT_FALSE(CloseWindow(*form));
    EXPECT_EQ(sink.errors.size(), 1);
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\n");
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    EXPECT_TRUE(CloseWindow(*form));
}

TEST(Startup, WithoutALocalAddressTheFieldStaysEmptyAndLoadingGoesOn) {
    ProgramFolder folder;
    RecordingSink sink;
    ResetFakeWinsock();
    FakeState().lookUpError = 11001;
    TIdComponent::SharedStack = new TIdStackWinsock(FakeLibrary());
    folder.Write("clientlist.txt", "Alpha\r\n");
    folder.Write("clientIDlist.txt", "1\r\n");
    folder.Write("myviewer.ini", "[port]\r\nviewer=5500\r\n");
    auto form = folder.Start();
    EXPECT_EQ(sink.errors, QStringList{QStringLiteral("Socket Error # 11001\r\n")});
    EXPECT_TRUE(Find<QLineEdit>(*form, "Edit3")->text().isEmpty());
    EXPECT_EQ(Rows(*form, "ListBox1"), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(Find<QLineEdit>(*form, "NumEdit2")->text(), QStringLiteral("5500"));
    ASSERT_TRUE(CloseWindow(*form));
    form.reset();
    EXPECT_EQ(TIdComponent::SharedStack, nullptr);
    // The address history goes to the current directory when the window is gone.
    EXPECT_TRUE(folder.Exists("iphist.dat"));
}

TEST(Startup, TheLocalAddressFieldShowsTheStacksFirstAddress) {
    ProgramFolder folder;
    RecordingSink sink;
    ResetFakeWinsock();
    FakeState().addresses = {"192.0.2.44", "10.0.0.1"};
    TIdComponent::SharedStack = new TIdStackWinsock(FakeLibrary());
    auto form = folder.Start();
    EXPECT_EQ(Find<QLineEdit>(*form, "Edit3")->text(), QStringLiteral("192.0.2.44"));
}

TEST(Startup, ListFilesThatCannotBeReadAreNamedAndNeverWrittenOver) {
    ProgramFolder folder;
    RecordingSink sink;
    ASSERT_EQ(::mkfifo(folder.File("clientlist.txt").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.File("clientIDlist.txt"));
    // Left by a crash: the batch file with its password and a temporary file.
    folder.Write("vncviewer.bat", "secret\r\n");
    folder.Write(".mbv-tmp-Xq9zz1", "secret");

    auto form = folder.Start();
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    EXPECT_FALSE(folder.Exists(".mbv-tmp-Xq9zz1"));
    const std::string names = folder.Path() + "clientlist.txt";
    const std::string ids = folder.Path() + "clientIDlist.txt";
    const QString leftAsItIs =
        QStringLiteral(".\nThe file is left as it is: the program will not write over it when "
                       "it closes.");
    EXPECT_EQ(
        sink.messages,
        (QStringList{
            QString::fromStdString("Cannot open file " + names + ": it is not a regular file") +
                leftAsItIs,
            QString::fromStdString("Cannot open file " + ids + ": it is a folder") + leftAsItIs}));
    sink.messages.clear();

    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_TRUE(sink.errors.isEmpty());
    EXPECT_EQ(sink.messages.size(), 2);
    EXPECT_TRUE(sink.messages.value(0).startsWith(
        QString::fromStdString("The file " + names + " was left as it is")));
    std::filesystem::file_status status = std::filesystem::status(folder.File("clientlist.txt"));
    EXPECT_EQ(status.type(), std::filesystem::file_type::fifo);
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("clientIDlist.txt")));
    EXPECT_TRUE(folder.Exists("myviewer.ini"));
}

TEST(Startup, AHugeRowShowsItsBeginningAndIsSavedWhole) {
    ProgramFolder folder;
    RecordingSink sink;
    const std::string huge = std::string(50 << 20, 'x');
    folder.Write("clientlist.txt", "Acme\r\n" + huge + "\r\n");
    folder.Write("clientIDlist.txt", "1\r\n2\r\n");
    auto form = folder.Start();
    const QString shown = ShownCell(*form, 1, 0);
    EXPECT_EQ(shown.size(), 1001);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Acme\r\n" + huge + "\r\n");
}

// Once the window is closed and the book saved, a thread stuck in a library (a server that
// does not answer) keeps the process alive two seconds at most.
TEST(Startup, AThreadStuckAtTheEndDoesNotKeepTheProgramAlive) {
    ProgramFolder folder;
    folder.Write("clientlist.txt", "Acme\r\n");
    folder.Write("clientIDlist.txt", "42\r\n");
    folder.Write("myviewer.ini", "[port]\r\nviewer=5901\r\n");
    const QString program = QString::fromStdString(folder.File("StuckAtExit"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(STUCK_AT_EXIT), program));
    QProcess copy;
    QElapsedTimer clock;
    clock.start();
    copy.start(program, {});
    ASSERT_TRUE(copy.waitForFinished(20000)) << "still running after 20 s";
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 0);
    EXPECT_LT(clock.elapsed(), 15000);
    // The close saved the book before anything was let go.
    EXPECT_EQ(folder.Read("clientlist.txt"), "Acme\r\n");
    EXPECT_NE(folder.Read("myviewer.ini").find("[quality]"), std::string::npos);
}
