// The close's commit under faults: a kill at every step, a torn record, stale temporaries, a
// full disk.
#include "core/Commit.h"
#include "platform/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> Own{"clientlist.txt", "clientIDlist.txt", "myviewer.ini"};

class Commit : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return folder_ + name; }
    void Write(const char* name, const std::string& bytes) const { dir_.Write(name, bytes); }
    std::string Read(const char* name) const { return dir_.Read(name); }
    std::vector<core::FileWrite> Book(const std::string& tag) const {
        // Big enough that the writes take more than one system call.
        const std::string rows(300000, tag[0]);
        return {
            {Path("clientlist.txt"), tag + rows, platform::NewFileMode::Shared,
             platform::ExistingFileMode::Keep, "Cannot create file " + Path("clientlist.txt")},
            {Path("clientIDlist.txt"), tag + "ids", platform::NewFileMode::Shared,
             platform::ExistingFileMode::Keep, "Cannot create file " + Path("clientIDlist.txt")},
            {Path("myviewer.ini"), tag + "ini", platform::NewFileMode::OwnerOnly,
             platform::ExistingFileMode::Tighten, "Unable to write to " + Path("myviewer.ini")}};
    }
    // "old", "new", or "mixed" for the three files.
    std::string State() const {
        const auto is = [&](const std::string& tag) {
            return Read("clientlist.txt") == tag + std::string(300000, tag[0]) &&
                   Read("clientIDlist.txt") == tag + "ids" && Read("myviewer.ini") == tag + "ini";
        };
        return is("old") ? "old" : is("new") ? "new" : "mixed";
    }
    size_t Leftovers() const { return platform::FolderEntries(folder_, ".mbv-").size(); }

    TempFolder dir_{"mbv-commit"};
    std::string folder_ = dir_.Folder();
};

} // namespace

TEST_F(Commit, AKillAtAnyStepLeavesAllOldOrAllNewOnceStartedAgain) {
    int steps = 0;
    core::SetCommitStepHookForTesting([&](core::CommitStep) { ++steps; });
    for (const auto& write : Book("old")) {
        Write(fs::path(write.path).filename().c_str(), write.bytes);
    }
    core::CommitFiles(folder_, Book("old"));
    core::SetCommitStepHookForTesting(nullptr);
    ASSERT_EQ(steps, 9);

    std::map<std::string, int> seen;
    for (int kill = 0; kill <= steps; ++kill) {
        core::CommitFiles(folder_, Book("old"));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int step = 0;
            core::SetCommitStepHookForTesting([&](core::CommitStep) {
                if (step++ == kill) {
                    ::raise(SIGKILL);
                }
            });
            core::CommitFiles(folder_, Book("new"));
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFSIGNALED(status), kill < steps) << kill;

        core::RecoverCommits(folder_, Own);
        const std::string state = State();
        ++seen[state];
        // Once the record stood in the folder (the fourth step), the commit is carried out.
        EXPECT_EQ(state, kill < 3 ? "old" : "new") << "killed after step " << kill + 1;
        EXPECT_EQ(Leftovers(), 0u) << kill;
    }
    EXPECT_EQ(seen["mixed"], 0);
    EXPECT_EQ(fs::status(Path("myviewer.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(Commit, ATornRecordIsDiscardedWithItsTemporaries) {
    Write("clientlist.txt", "old");
    Write(".mbv-tmp-aaaaaa", "new");
    const std::string line = folder_ + ".mbv-tmp-aaaaaa\t" + Path("clientlist.txt") + "\n";
    // Cut before its end line, and one whose checksum does not match.
    Write(".mbv-commit-torn01", "mbv-commit 1\n" + line);
    Write(".mbv-commit-torn02", "mbv-commit 1\n" + line + "end 12345\n");
    core::RecoverCommits(folder_, Own);
    EXPECT_EQ(Read("clientlist.txt"), "old");
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(Commit, StaleTemporariesGoAndThoseOfARunningCopyStay) {
    Write(".mbv-tmp-stale1", std::string(1000, 'p'));
    const auto held = platform::TempFile::Create(folder_);
    ASSERT_TRUE(held);
    ASSERT_TRUE(held->Write("password"));
    EXPECT_EQ(fs::status(held->Path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    core::RecoverCommits(folder_, Own);
    EXPECT_FALSE(fs::exists(Path(".mbv-tmp-stale1")));
    EXPECT_TRUE(fs::exists(held->Path()));
}

TEST_F(Commit, AFullDiskFailsTheSaveNamingTheFileAndReplacesNothing) {
    for (const auto& write : Book("old")) {
        Write(fs::path(write.path).filename().c_str(), write.bytes);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Files may grow to 64 KiB: the name list of the commit does not fit.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            core::CommitFiles(folder_, Book("new"));
        } catch (const core::ESaveError& error) {
            ::_exit(error.File() == Path("clientlist.txt") ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(State(), "old");
    EXPECT_EQ(Leftovers(), 0u);
}
