// Two copies of the program on one book: what either changes is kept, at the close and while
// the window is open; a book that others may write is not trusted at start-up.
#include "app/ListBox.h"
#include "core/Commit.h"
#include "core/ProgramFiles.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::string>;

Rows RowsOf(const TForm1& form, const char* list) {
    return Find<ListBox>(form, list)->Items().Strings();
}

// Another copy's close, as it lands in the folder: one commit of both lists.
void CommitAsAnotherCopy(const ProgramFolder& folder, const std::string& names,
                         const std::string& ids) {
    core::CommitFiles(folder.Path(),
                      {{folder.File("clientlist.txt"), names, platform::NewFileMode::Shared,
                        platform::ExistingFileMode::Keep, "names"},
                       {folder.File("clientIDlist.txt"), ids, platform::NewFileMode::Shared,
                        platform::ExistingFileMode::Keep, "ids"}});
}

class SharedBook : public ::testing::Test {
protected:
    SharedBook() {
        folder.Write("clientlist.txt", "Alpha\r\nBaker & Sons\r\n");
        folder.Write("clientIDlist.txt", "101\r\n204518\r\n");
    }
    ProgramFolder folder;
    RecordingSink sink;
};

} // namespace

TEST_F(SharedBook, TwoProgramProcessesKeepEachOthersEdits) {
    const auto copy = [&](const QStringList& steps) {
        auto process = std::make_unique<QProcess>();
        process->setProgram(QStringLiteral(SCRIPTED_COPY));
        process->setArguments(QStringList{QString::fromStdString(folder.Path())} + steps);
        process->start();
        EXPECT_TRUE(process->waitForStarted());
        return process;
    };
    const QString go = QString::fromStdString(folder.File("go-"));
    const QString ready = QString::fromStdString(folder.File("ready-"));
    // Both load the book, each edits it, then they close one after the other.
    auto carol = copy({QStringLiteral("add:Carol Ltd:303"), QStringLiteral("remove:Baker"),
                       QStringLiteral("quality:5"), QStringLiteral("tell:") + ready + u'1',
                       QStringLiteral("wait:") + go + u'1'});
    auto dave = copy({QStringLiteral("add:Dave Ltd:404"), QStringLiteral("tell:") + ready + u'2',
                      QStringLiteral("wait:") + go + u'2'});
    ASSERT_TRUE(WaitFor([&] { return folder.Exists("ready-1") && folder.Exists("ready-2"); }));
    folder.Write("go-1", "");
    ASSERT_TRUE(carol->waitForFinished(20000));
    EXPECT_EQ(carol->exitCode(), 0);
    folder.Write("go-2", "");
    ASSERT_TRUE(dave->waitForFinished(20000));
    EXPECT_EQ(dave->exitCode(), 0);

    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nCarol Ltd\r\nDave Ltd\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "101\r\n303\r\n404\r\n");
    EXPECT_NE(folder.Read("myviewer.ini").find("setting=5"), std::string::npos);
    // The removal's bin entry, made by the first, kept by the second's merge.
    EXPECT_NE(folder.Read("recyclebin.txt")
                  .find("\tBaker & Sons\t204518\tAlpha\t101\tCarol Ltd\t303\r\n"),
              std::string::npos)
        << folder.Read("recyclebin.txt");
    // The second copy said what it kept, without an error.
    const QString said = QString::fromUtf8(dave->readAllStandardOutput());
    EXPECT_TRUE(said.contains(QStringLiteral("Kept 1 client that another copy added.")))
        << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("Unable"))) << said.toStdString();
}

TEST_F(SharedBook, ACloseMergesWhatAnotherCopyCommittedMeanwhile) {
    auto form = folder.Start();
    Find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Carol Ltd"));
    Find<QLineEdit>(*form, "NumEdit1")->setText(QStringLiteral("303"));
    Find<QPushButton>(*form, "Button1")->click();
    // Before the window hears of it: the close itself must find it.
    CommitAsAnotherCopy(folder, "Alpha\r\nBaker & Sons\r\nDave Ltd\r\n",
                        "101\r\n204518\r\n404\r\n");
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker & Sons\r\nDave Ltd\r\nCarol Ltd\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "101\r\n204518\r\n404\r\n303\r\n");
    EXPECT_EQ(sink.messages, QStringList{QStringLiteral("Kept 1 client that another copy added.")});
    EXPECT_TRUE(sink.errors.isEmpty());
}

TEST_F(SharedBook, AnotherCopysCommitIsMergedLiveKeepingSelectionAndFilter) {
    auto form = folder.Start();
    auto* filter = Find<QLineEdit>(*form, "FilterEdit");
    filter->setText(QStringLiteral("a"));
    Find<ListBox>(*form, "ListBox1")->SetItemIndex(1);
    Find<ListBox>(*form, "ListBox2")->SetItemIndex(1);

    // The other copy added one client before Baker & Sons and removed Alpha.
    CommitAsAnotherCopy(folder, "Dave Ltd\r\nBaker & Sons\r\n", "404\r\n204518\r\n");
    ASSERT_TRUE(WaitFor([&] {
        return RowsOf(*form, "ListBox1").size() == 2 && RowsOf(*form, "ListBox1")[0] == "Dave Ltd";
    }));
    EXPECT_EQ(RowsOf(*form, "ListBox2"), (Rows{"404", "204518"}));
    EXPECT_EQ(filter->text(), QStringLiteral("a"));
    EXPECT_EQ(Find<ListBox>(*form, "ListBox1")->ItemIndex(), 1);
    EXPECT_EQ(Find<ListBox>(*form, "ListBox2")->ItemIndex(), 1);
    EXPECT_EQ(sink.notices,
              QStringList{QStringLiteral("Kept 1 client that another copy added. Removed 1 "
                                         "client that another copy removed.")});

    // What was read is the new base: the close writes the book as it stands, with no merge.
    sink.messages.clear();
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Dave Ltd\r\nBaker & Sons\r\n");
    EXPECT_TRUE(sink.messages.isEmpty());
}

TEST_F(SharedBook, AMergingCloseThatCannotFinishKeepsWhatItMergedInTheWindow) {
    auto form = folder.Start();
    // Another copy's commit lands before this window has heard of it.
    CommitAsAnotherCopy(folder, "Alpha\r\nBaker & Sons\r\nCarol\r\n", "101\r\n204518\r\n3\r\n");
    core::SetCommitStepHookForTesting([](core::CommitStep step) {
        if (step == core::CommitStep::TempWritten) {
            throw core::ESaveError("Cannot create file (disk full)", "clientlist.txt");
        }
    });
    EXPECT_FALSE(CloseWindow(*form));
    core::SetCommitStepHookForTesting(nullptr);
    EXPECT_EQ(RowsOf(*form, "ListBox1"), (Rows{"Alpha", "Baker & Sons", "Carol"}));
    EXPECT_EQ(RowsOf(*form, "ListBox2"), (Rows{"101", "204518", "3"}));

    // The next save starts from the other copy's book and keeps its client.
    Find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Dave"));
    Find<QLineEdit>(*form, "NumEdit1")->setText(QStringLiteral("4"));
    Find<QPushButton>(*form, "Button1")->click();
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("clientlist.txt"), "Alpha\r\nBaker & Sons\r\nCarol\r\nDave\r\n");
    EXPECT_EQ(folder.Read("clientIDlist.txt"), "101\r\n204518\r\n3\r\n4\r\n");
}

TEST_F(SharedBook, ASecondCopyOnAnOpenBookSaysOnceThatBothAreKept) {
    auto first = folder.Start();
    EXPECT_TRUE(sink.notices.isEmpty());
    auto second = folder.Start();
    ASSERT_EQ(sink.notices.size(), 1);
    EXPECT_TRUE(
        sink.notices.front().startsWith(QStringLiteral("Another copy of My Brindle Viewer")));
    EXPECT_TRUE(sink.notices.front().endsWith(
        QStringLiteral("has this book open: the changes of both copies will be kept.")));
    ASSERT_TRUE(CloseWindow(*second));
    ASSERT_TRUE(CloseWindow(*first));
    second.reset();
    first.reset();
    // A lock left behind by a copy that crashed never blocks: the next start says nothing.
    sink.notices.clear();
    folder.Write(".mbv-open.lock",
                 "999999999\nMyBrindleViewer\n" + QSysInfo::machineHostName().toStdString() + "\n");
    auto third = folder.Start();
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'|').toStdString();
}

TEST_F(SharedBook, ARecordThatIsNotTheProgramsIsNamedAndLeftAlone) {
    folder.Write(".mbv-commit-zz", "#!/bin/sh\n");
    auto form = folder.Start();
    EXPECT_EQ(sink.messages,
              QStringList{QString::fromStdString("A file the program did not write was left "
                                                 "alone: " +
                                                 folder.Path() + ".mbv-commit-zz")});
    EXPECT_TRUE(folder.Exists(".mbv-commit-zz"));
}

TEST_F(SharedBook, ABookInAFolderOthersMayWriteIsCarriedOverWithoutFirstRunNotices) {
    fs::remove(folder.File("clientIDlist.txt"));
    fs::permissions(folder.Path(), fs::perms::all);
    QTemporaryDir data;
    core::UseStorage(core::ChooseStorage(folder.Path(), data.path().toStdString(), false));
    const std::string kept = data.path().toStdString() + "/";

    auto form = folder.Start();
    EXPECT_TRUE(sink.messages.isEmpty()) << sink.messages.join(u'|').toStdString();
    EXPECT_EQ(RowsOf(*form, "ListBox1"), (Rows{"Alpha", "Baker & Sons"}));
    EXPECT_TRUE(
        Find<QLabel>(*form, "BookFolderLabel")
            ->toolTip()
            .endsWith(QString::fromStdString(" (carried over from " + folder.Path() + ")")));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_TRUE(fs::exists(kept + "clientIDlist.txt"));
    EXPECT_FALSE(folder.Exists("clientIDlist.txt"));
    core::UseStorage({core::Storage::Portable, {}, {}, {}, {}});
    fs::permissions(folder.Path(), fs::perms::owner_all);
}
