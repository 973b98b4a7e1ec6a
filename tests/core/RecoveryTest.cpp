// Start-up recovery in a folder that someone else may write: crafted records and planted links
// leave every file outside the book as it was; the program's own records still roll forward.
#include "core/Commit.h"
#include "platform/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> Own{"clientlist.txt", "clientIDlist.txt", "myviewer.ini"};
// An account that is not the one running the tests.
constexpr uid_t Stranger = 65534;

// The checksum the record's end line carries (FNV-1a of everything before it); anyone can
// compute it, which is the point of these cases.
std::string Signed(const std::string& body) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : body) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return body + "end " + std::to_string(hash) + "\n";
}

bool OwnedByMe(const fs::directory_entry& entry) {
    struct stat st {};
    return ::lstat(entry.path().c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

class Recovery : public ::testing::Test {
protected:
    Recovery() {
        fs::create_directories(Book());
        fs::create_directories(Home());
        dir_.Write("home/.bashrc", "victim's shell");
        dir_.Write("home/secret.txt", "victim's secret");
        dir_.Write("book/clientlist.txt", "Alpha\r\n");
        dir_.Write("book/clientIDlist.txt", "1\r\n");
    }
    std::string Book() const { return dir_.Folder() + "book/"; }
    std::string Home() const { return dir_.Folder() + "home/"; }
    std::string Read(const std::string& name) const { return dir_.Read(name); }
    // Every file as it stands, but the user's own stale temporaries in the book's folder,
    // which a start-up removes by design.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
            const bool ownTemporary =
                entry.path().parent_path() == fs::path(Book()).parent_path() &&
                entry.path().filename().string().rfind(".mbv-tmp-", 0) == 0 &&
                fs::is_regular_file(entry.symlink_status()) &&
                fs::status(entry.path()).type() == fs::file_type::regular && OwnedByMe(entry);
            if (ownTemporary) {
                continue;
            }
            if (fs::is_symlink(entry.symlink_status())) {
                files[entry.path().string()] = "-> " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_regular_file() && entry.file_size() > (1u << 20)) {
                files[entry.path().string()] = "size " + std::to_string(entry.file_size());
            } else if (entry.is_regular_file()) {
                files[entry.path().string()] = dir_.Read(fs::relative(entry.path(), dir_.Path()));
            }
        }
        return files;
    }

    TempFolder dir_{"mbv-recovery"};
};

struct Crafted {
    const char* name;
    // Plants the record and whatever it names; returns false when this account cannot.
    std::function<bool(Recovery&)> plant;
};

} // namespace

TEST_F(Recovery, CraftedRecordsAndPlantedLinksChangeNothingAndAreNamedOnce) {
    const std::string book = Book();
    const std::string home = Home();
    const auto write = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    };
    const auto chownTo = [](const std::string& path) {
        return ::lchown(path.c_str(), Stranger, Stranger) == 0;
    };
    const std::vector<Crafted> cases{
        {"an older record naming a file outside the book",
         [&](Recovery&) {
             write(book + ".mbv-tmp-aaaaaa", "attacker's shell");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 1\n" + book + ".mbv-tmp-aaaaaa\t" + home + ".bashrc\n"));
             return true;
         }},
        {"a record naming a file that is not the book's",
         [&](Recovery&) {
             write(book + ".mbv-tmp-aaaaaa", "attacker's shell");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\n../home/.bashrc\t.mbv-tmp-aaaaaa\n"));
             return true;
         }},
        {"a temporary outside the book's folder",
         [&](Recovery&) {
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\nclientlist.txt\t../home/secret.txt\n"));
             return true;
         }},
        {"an older record with a temporary through ..",
         [&](Recovery&) {
             write(book + ".mbv-commit-a", Signed("mbv-commit 1\n" + book + "../home/secret.txt\t" +
                                                  book + "clientlist.txt\n"));
             return true;
         }},
        {"relative paths, as from the home folder",
         [&](Recovery&) {
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 1\nsecret.txt\tclientlist.txt\n.bashrc\tmyviewer.ini\n"));
             return true;
         }},
        {"a torn record naming files outside",
         [&](Recovery&) {
             write(book + ".mbv-commit-a",
                   "mbv-commit 1\n" + home + "secret.txt\t" + book + "clientlist.txt\n");
             return true;
         }},
        {"a record that is a link",
         [&](Recovery&) {
             write(home + "record",
                   Signed("mbv-commit 1\n" + home + "secret.txt\t" + book + "clientlist.txt\n"));
             fs::create_symlink(home + "record", book + ".mbv-commit-a");
             return true;
         }},
        {"a temporary that is a link to the victim's file",
         [&](Recovery&) {
             fs::create_symlink(home + "secret.txt", book + ".mbv-tmp-aaaaaa");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\nclientlist.txt\t.mbv-tmp-aaaaaa\n"));
             return true;
         }},
        {"a record of another account",
         [&](Recovery&) {
             write(book + ".mbv-tmp-aaaaaa", "Mallory\r\n");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\nclientlist.txt\t.mbv-tmp-aaaaaa\n"));
             return chownTo(book + ".mbv-commit-a");
         }},
        {"a temporary of another account",
         [&](Recovery&) {
             write(book + ".mbv-tmp-aaaaaa", "Mallory\r\n");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\nclientlist.txt\t.mbv-tmp-aaaaaa\n"));
             return chownTo(book + ".mbv-tmp-aaaaaa");
         }},
        {"a list that another account made a link to the victim's file",
         [&](Recovery&) {
             fs::remove(book + "clientlist.txt");
             fs::create_symlink(home + ".bashrc", book + "clientlist.txt");
             write(home + ".mbv-tmp-aaaaaa", "attacker's shell");
             write(book + ".mbv-commit-a",
                   Signed("mbv-commit 2\nclientlist.txt\t.mbv-tmp-aaaaaa\n"));
             return chownTo(book + "clientlist.txt");
         }},
        {"a record of a gigabyte, sparse",
         [&](Recovery&) {
             write(book + ".mbv-commit-a", "mbv-commit 2\n");
             fs::resize_file(book + ".mbv-commit-a", 1ull << 30);
             return true;
         }},
    };
    for (const Crafted& crafted : cases) {
        SCOPED_TRACE(crafted.name);
        fs::remove_all(Book());
        fs::create_directories(Book());
        dir_.Write("book/clientlist.txt", "Alpha\r\n");
        dir_.Write("book/clientIDlist.txt", "1\r\n");
        if (!crafted.plant(*this)) {
            continue; // only the super-user can give files away
        }
        const auto before = Snapshot();
        const std::vector<std::string> leftAlone = core::RecoverCommits(Book(), Own);
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(leftAlone, std::vector<std::string>{Book() + ".mbv-commit-a"});
    }
}

TEST_F(Recovery, AStaleTemporaryOfAnotherAccountOrALinkStays) {
    dir_.Write("book/.mbv-tmp-theirs", "theirs");
    fs::create_symlink(Home() + "secret.txt", Book() + ".mbv-tmp-link");
    dir_.Write("book/.mbv-tmp-mine", "mine");
    const bool given = ::chown((Book() + ".mbv-tmp-theirs").c_str(), Stranger, Stranger) == 0;
    EXPECT_TRUE(core::RecoverCommits(Book(), Own).empty());
    EXPECT_EQ(fs::exists(Book() + ".mbv-tmp-theirs"), given);
    EXPECT_TRUE(fs::is_symlink(Book() + ".mbv-tmp-link"));
    EXPECT_EQ(Read("home/secret.txt"), "victim's secret");
    EXPECT_FALSE(fs::exists(Book() + ".mbv-tmp-mine"));
}

// Kills a child in the middle of a commit of the book in folder, after the given step.
void KillCommitAfter(const std::string& folder, core::CommitStep stop,
                     const std::vector<core::FileWrite>& writes) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        core::SetCommitStepHookForTesting([&](core::CommitStep step) {
            if (step == stop) {
                ::raise(SIGKILL);
            }
        });
        core::CommitFiles(folder, writes);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
}

std::vector<core::FileWrite> NewBook(const std::string& folder) {
    return {{folder + "/clientlist.txt", "Alpha\r\nBeta\r\n", platform::NewFileMode::Shared,
             platform::ExistingFileMode::Keep, "names"},
            {folder + "/clientIDlist.txt", "1\r\n2\r\n", platform::NewFileMode::Shared,
             platform::ExistingFileMode::Keep, "ids"}};
}

TEST_F(Recovery, AFolderNamedWithALineBreakAndATabIsRolledForwardWhole) {
    const std::string folder = dir_.Folder() + "tab\there\nand there/";
    fs::create_directories(folder);
    std::ofstream(folder + "clientlist.txt") << "Alpha\r\n";
    std::ofstream(folder + "clientIDlist.txt") << "1\r\n";
    KillCommitAfter(folder, core::CommitStep::FileReplaced, NewBook(folder));
    EXPECT_TRUE(core::RecoverCommits(folder, Own).empty());
    EXPECT_EQ(*platform::ReadWholeFile(folder + "clientlist.txt"), "Alpha\r\nBeta\r\n");
    EXPECT_EQ(*platform::ReadWholeFile(folder + "clientIDlist.txt"), "1\r\n2\r\n");
    EXPECT_TRUE(platform::FolderEntries(folder, ".mbv-").empty());
}

TEST_F(Recovery, ATemporaryBesideALinkedListsTargetIsFinishedOrRemoved) {
    // The user's own link: the names live in the home folder.
    dir_.Write("home/names.txt", "Alpha\r\n");
    fs::remove(Book() + "clientlist.txt");
    fs::create_symlink(Home() + "names.txt", Book() + "clientlist.txt");

    KillCommitAfter(Book(), core::CommitStep::TempWritten, NewBook(Book()));
    EXPECT_FALSE(platform::FolderEntries(Home(), ".mbv-tmp-").empty());
    core::RecoverCommits(Book(), Own);
    EXPECT_TRUE(platform::FolderEntries(Home(), ".mbv-tmp-").empty());
    EXPECT_EQ(Read("home/names.txt"), "Alpha\r\n");

    KillCommitAfter(Book(), core::CommitStep::RecordWritten, NewBook(Book()));
    EXPECT_TRUE(core::RecoverCommits(Book(), Own).empty());
    EXPECT_EQ(Read("home/names.txt"), "Alpha\r\nBeta\r\n");
    EXPECT_EQ(Read("book/clientIDlist.txt"), "1\r\n2\r\n");
    EXPECT_TRUE(fs::is_symlink(Book() + "clientlist.txt"));
}

TEST_F(Recovery, ARenameFailingAfterTheCommitPointKeepsTheRecordUntilTheBookIsWhole) {
    // The second rename fails: a folder took the ID list's name meanwhile.
    int replaced = 0;
    core::SetCommitStepHookForTesting([&](core::CommitStep step) {
        if (step == core::CommitStep::FileReplaced && ++replaced == 1) {
            fs::remove(Book() + "clientIDlist.txt");
            fs::create_directories(Book() + "clientIDlist.txt/in the way");
        }
    });
    EXPECT_THROW(core::CommitFiles(Book(), NewBook(Book())), core::ESaveError);
    core::SetCommitStepHookForTesting(nullptr);
    EXPECT_EQ(Read("book/clientlist.txt"), "Alpha\r\nBeta\r\n");

    // The next close finishes it first, once the way is clear.
    fs::remove_all(Book() + "clientIDlist.txt");
    core::RecoverCommits(Book(), Own);
    core::CommitFiles(Book(), {NewBook(Book()).front()});
    EXPECT_EQ(Read("book/clientIDlist.txt"), "1\r\n2\r\n");
    EXPECT_TRUE(platform::FolderEntries(Book(), ".mbv-").empty());
}
