#include "app/ListBox.h"
#include "controls/Numedit.h"
#include "core/ProgramFiles.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

using Args = std::vector<std::string>;

class Launch : public ::testing::Test {
protected:
    explicit Launch(const QString& folderName = QStringLiteral("mbv")) : folder(folderName) {}

    void SetUp() override {
        folder.InstallViewer();
        folder.Write("clientlist.txt", "Acme\r\nGlobex\r\n");
        folder.Write("clientIDlist.txt", "123456\r\n42\r\n");
        folder.Write("myviewer.ini", "[port]\r\nviewer=5901\r\n[autoreconnect]\r\nsetting=1\r\n");
        form = folder.Start();
        Find<QLineEdit>(*form, "Edit3")->setText(QStringLiteral("192.0.2.10"));
    }

    void Select(int row) { ClickClient(*form, row); }

    // The line is written once the keyring's read at start has answered.
    void Connect() {
        QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
        WaitFor([&] { return !form->KeyringWait(); });
    }

    // How the stand-in viewer was started: session and streams, then argv.
    Args Received() {
        if (!WaitFor([&] { return folder.Exists("viewer-args"); })) {
            return {};
        }
        const std::string record = folder.Read("viewer-args");
        std::filesystem::remove(folder.File("viewer-args"));
        const std::string detached = folder.Read("viewer-detached");
        Args args = {detached.substr(0, detached.find(' ')),
                     detached.substr(detached.find(' ') + 1)};
        size_t start = 0;
        for (size_t end; (end = record.find('\0', start)) != std::string::npos; start = end + 1) {
            args.push_back(record.substr(start, end - start));
        }
        return args;
    }

    std::string Viewer() const { return folder.Path() + "Bin/vncviewer.exe"; }
    std::string Batch() const { return folder.Read("vncviewer.bat"); }

    ProgramFolder folder;
    RecordingSink sink;
    std::unique_ptr<TForm1> form;
};

const std::string Tail = " -keepalive 1 -dsmplugin SecureVNCPlugin.dsm";
const Args TailArgs = {"-keepalive", "1", "-dsmplugin", "SecureVNCPlugin.dsm"};

// Processes this one started that are still there, zombies included.
std::vector<std::string> Children() {
    std::vector<std::string> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream list(task.path() / "children");
        for (std::string pid; list >> pid;) {
            children.push_back(pid);
        }
    }
    return children;
}

Args Concat(Args head, const Args& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

} // namespace

TEST_F(Launch, TheExampleLineIsWrittenOwnerOnlyAndTheViewerGetsItsArguments) {
    Select(0);
    Connect();
    EXPECT_TRUE(sink.messages.isEmpty());
    EXPECT_TRUE(sink.errors.isEmpty());
    EXPECT_EQ(Batch(), "\"" + folder.Path() +
                           "Bin\\vncviewer.exe\" -proxy 192.0.2.10:5901 -autoreconnect -connect "
                           "ID:123456 -quickoption 3 -autoscaling" +
                           Tail + "\r\n");
    EXPECT_EQ(folder.Mode("vncviewer.bat"), 0600u);
    EXPECT_TRUE(Find<ListBox>(*form, "ListBox3")->Items().empty());
    EXPECT_EQ(Received(), Concat({"own-session", "stdio-null", Viewer(), "-proxy",
                                  "192.0.2.10:5901", "-autoreconnect", "-connect", "ID:123456",
                                  "-quickoption", "3", "-autoscaling"},
                                 TailArgs));
    // The viewer has ended and was reaped: nothing lingers as a zombie.
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));

    // A second launch replaces the file with its own line.
    Select(1);
    Connect();
    EXPECT_EQ(Batch(), "\"" + folder.Path() +
                           "Bin\\vncviewer.exe\" -proxy 192.0.2.10:5901 -autoreconnect -connect "
                           "ID:42 -quickoption 3 -autoscaling" +
                           Tail + "\r\n");
    EXPECT_EQ(Received().at(7), "ID:42");
}

TEST_F(Launch, EmptyQualityAndPasswordLeaveTheirNeighboursTouching) {
    Find<QComboBox>(*form, "ComboBox1")->setCurrentText(QString());
    Find<QCheckBox>(*form, "CheckBox3")->setChecked(true);
    Find<QCheckBox>(*form, "CheckBox2")->setChecked(false);
    Select(0);
    Connect();
    EXPECT_EQ(Batch(), "\"" + folder.Path() +
                           "Bin\\vncviewer.exe\" -proxy 192.0.2.10:5901 ID:123456 -quickoption  "
                           "-autoscaling" +
                           Tail + " -password \r\n");
    EXPECT_EQ(Received(), Concat({"own-session", "stdio-null", Viewer(), "-proxy",
                                  "192.0.2.10:5901", "ID:123456", "-quickoption", "-autoscaling"},
                                 Concat(TailArgs, {"-password"})));
}

// Without the repeater's port or address the viewer would reach nobody and say nothing: the
// first connect says what is missing and opens the Settings page at its field.
TEST_F(Launch, AMissingPortOrAddressIsSaidAndItsFieldOpened) {
    struct Row {
        const char* field;
        const char* said;
    };
    for (const Row& row : {Row{"NumEdit2", "Cannot connect: type the repeater's port on the "
                                           "Settings page."},
                           Row{"Edit3", "Cannot connect: type the repeater's address on the "
                                        "Settings page."}}) {
        auto* field = Find<QLineEdit>(*form, row.field);
        const QString kept = field->text();
        field->clear();
        sink.errors.clear();
        Find<QTabWidget>(*form, "PageControl1")->setCurrentIndex(0);
        Select(0);
        Connect();
        EXPECT_EQ(sink.errors, QStringList{QString::fromUtf8(row.said)}) << row.field;
        EXPECT_FALSE(folder.Exists("vncviewer.bat")) << row.field;
        EXPECT_TRUE(Find<QTabWidget>(*form, "PageControl1")->currentWidget()->isAncestorOf(field))
            << row.field;
        EXPECT_EQ(form->focusWidget(), field) << row.field;
        field->setText(kept);
    }
}

TEST_F(Launch, SpecialCharactersReachTheViewerAndRunNothing) {
    Find<QRadioButton>(*form, "RadioButton10")->setChecked(true);
    Find<QLineEdit>(*form, "Edit2")->setText(QStringLiteral("rep&touch x|y"));
    Find<QCheckBox>(*form, "CheckBox3")->setChecked(true);
    Find<QLineEdit>(*form, "Edit4")->setText(QStringLiteral("p<w>^%d%"));
    Find<QCheckBox>(*form, "CheckBox1")->setChecked(false);
    Select(0);
    Connect();
    EXPECT_EQ(Batch(), "\"" + folder.Path() +
                           "Bin\\vncviewer.exe\" -proxy rep^&touch x^|y:5901 -autoreconnect "
                           "-connect ID:123456 -quickoption 3" +
                           Tail + " -password p^<w^>^^%%d%%\r\n");
    EXPECT_EQ(Received(),
              Concat({"own-session", "stdio-null", Viewer(), "-proxy", "rep&touch", "x|y:5901",
                      "-autoreconnect", "-connect", "ID:123456", "-quickoption", "3"},
                     Concat(TailArgs, {"-password", "p<w>^%d%"})));
    EXPECT_FALSE(folder.Exists("x"));

    // A quote in the data opens a quoted stretch; inside it only "%" is escaped.
    Find<QLineEdit>(*form, "Edit2")->setText(QStringLiteral("a\"b&c"));
    Select(0);
    Connect();
    EXPECT_EQ(Batch(), "\"" + folder.Path() +
                           "Bin\\vncviewer.exe\" -proxy a\"b&c:5901 -autoreconnect "
                           "-connect ID:123456 -quickoption 3" +
                           Tail + " -password p<w>^%%d%%\r\n");
    EXPECT_EQ(Received(), (Args{"own-session", "stdio-null", Viewer(), "-proxy",
                                "ab&c:5901 -autoreconnect -connect ID:123456 -quickoption 3 "
                                "-keepalive 1 -dsmplugin SecureVNCPlugin.dsm -password p<w>^%d%"}));
}

TEST_F(Launch, IdsFromTheFileAreDataNotCommands) {
    folder.Write("clientIDlist.txt", "123 & touch injected\r\n");
    form = folder.Start();
    Find<QLineEdit>(*form, "Edit3")->setText(QStringLiteral("h"));
    Select(0);
    Connect();
    EXPECT_NE(Batch().find(" ID:123 ^& touch injected -quickoption"), std::string::npos);
    const Args args = Received();
    ASSERT_GT(args.size(), 9u);
    EXPECT_EQ(args[7], "ID:123");
    EXPECT_EQ(args[8], "&");
    EXPECT_FALSE(folder.Exists("injected"));
}

TEST_F(Launch, NoSelectionOutOfStepListsAndAnUnwritableFileStartNothing) {
    folder.Write("vncviewer.bat", "old\r\n");
    Connect();
    EXPECT_EQ(sink.messages,
              QStringList{QStringLiteral("You have to select a client to connect to first!")});
    EXPECT_EQ(Batch(), "old\r\n");

    // A row the ID list lacks (lists out of step): the list's index error, nothing written.
    auto* ids = Find<ListBox>(*form, "ListBox2");
    ids->Delete(ids->Count() - 1);
    Select(ids->Count());
    Connect();
    EXPECT_EQ(sink.errors, QStringList{QStringLiteral("List index out of bounds (-1)")});
    EXPECT_EQ(Batch(), "old\r\n");

    std::filesystem::remove(folder.File("vncviewer.bat"));
    std::filesystem::create_directory(folder.File("vncviewer.bat"));
    Select(0);
    Connect();
    EXPECT_EQ(sink.errors.last(),
              QString::fromStdString("Cannot create file " + folder.Path() + "vncviewer.bat."));
    EXPECT_TRUE(Find<ListBox>(*form, "ListBox3")->Items().empty());
    EXPECT_FALSE(WaitFor([&] { return folder.Exists("viewer-args"); }, 300));

    // The next launch that can write writes one line only.
    std::filesystem::remove(folder.File("vncviewer.bat"));
    Connect();
    const std::string batch = Batch();
    EXPECT_EQ(std::count(batch.begin(), batch.end(), '\n'), 1);
    EXPECT_FALSE(Received().empty());
}

TEST_F(Launch, TheBatchFileIsMadeAnewNeverThroughALinkAndControlBytesStartNothing) {
    folder.Write("elsewhere.txt", "keep\r\n");
    std::filesystem::create_symlink(folder.File("elsewhere.txt"), folder.File("vncviewer.bat"));
    Select(0);
    Connect();
    EXPECT_FALSE(Received().empty());
    EXPECT_EQ(folder.Read("elsewhere.txt"), "keep\r\n");
    EXPECT_FALSE(std::filesystem::is_symlink(folder.File("vncviewer.bat")));
    EXPECT_EQ(folder.Mode("vncviewer.bat"), 0600u);

    // Ctrl-Z would end the interpreter's line and run the rest as a command of its own.
    const std::string before = Batch();
    Find<QCheckBox>(*form, "CheckBox3")->setChecked(true);
    Find<QLineEdit>(*form, "Edit4")->setText(QStringLiteral("pw\x1A touch x"));
    Select(0);
    Connect();
    EXPECT_EQ(sink.errors, QStringList{QStringLiteral(
                               "Cannot connect: the password holds a control character.")});
    EXPECT_EQ(Batch(), before);
    EXPECT_FALSE(WaitFor([&] { return folder.Exists("viewer-args"); }, 300));
}

TEST_F(Launch, AViewerThatIsMissingOrCannotStartIsNamedWithItsFolder) {
    std::filesystem::remove_all(folder.File("Bin"));
    Select(0);
    Connect();
    // Nothing will read it, and it holds the password.
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    EXPECT_EQ(sink.errors,
              QStringList{QString::fromStdString("No viewer was found in " + folder.Path() +
                                                 "Bin: put vncviewer.exe there.")});

    // A Windows program with no wine on the PATH to start it.
    std::filesystem::create_directories(folder.File("Bin"));
    folder.Write("Bin/vncviewer.exe", "MZ\x90");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    Select(0);
    Connect();
    qputenv("PATH", path);
    EXPECT_EQ(sink.errors.last(),
              QString::fromStdString("The viewer in " + folder.Path() +
                                     "Bin is a Windows program, and wine, which would start it, "
                                     "is not installed."));
}

// A book folder chosen on purpose that other accounts may write: nothing is run from it and the
// batch file, which holds the password, is never written there.
TEST_F(Launch, ABookFolderOthersMayWriteRunsNoViewerFromItAndHoldsNoBatchFile) {
    QTemporaryDir data;
    const std::string kept = data.path().toStdString() + "/";
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
    core::UseStorage(core::ChooseStorage(folder.Path(), kept, false, folder.Path()));
    ASSERT_EQ(core::CurrentStorage().privateFolder, kept);
    // One left there by an earlier version goes at the next start.
    folder.Write("vncviewer.bat", "\"viewer\" -password secret\r\n");
    core::ProgramFiles::OfThisProgram().CleanUpAtStart();
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    const auto restore = qScopeGuard([&] {
        core::UseStorage({core::Storage::Portable, {}, {}, {}, {}});
        std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    });

    Select(0);
    Connect();
    EXPECT_EQ(sink.errors.last(),
              QString::fromStdString("The viewer in " + folder.Path() +
                                     "Bin is not started: other users may change that folder. "
                                     "Put vncviewer.exe in " +
                                     kept + "Bin instead."));
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    EXPECT_FALSE(std::filesystem::exists(kept + "vncviewer.bat"));
    EXPECT_FALSE(WaitFor([&] { return folder.Exists("viewer-args"); }, 300));

    // A viewer of the user's own is run from the data folder, with the batch file beside it.
    std::filesystem::create_directories(kept + "Bin");
    std::filesystem::copy_file(folder.File("Bin/vncviewer.exe"), kept + "Bin/vncviewer.exe");
    Select(0);
    Connect();
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(kept + "viewer-args"); }));
    std::ifstream batch(kept + "vncviewer.bat", std::ios::binary);
    const std::string line(std::istreambuf_iterator<char>(batch), {});
    EXPECT_NE(line.find(kept + "Bin\\vncviewer.exe"), std::string::npos) << line;
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
}

class LaunchFromFolderWithBlanks : public Launch {
protected:
    LaunchFromFolderWithBlanks() : Launch(QStringLiteral("my viewer")) {}
};

TEST_F(LaunchFromFolderWithBlanks, TheQuotedViewerPathHoldsTogether) {
    Select(0);
    Connect();
    const Args args = Received();
    ASSERT_GT(args.size(), 3u);
    EXPECT_EQ(args[2], Viewer());
    EXPECT_NE(Viewer().find(' '), std::string::npos);
    EXPECT_EQ(args[3], "-proxy");
}
