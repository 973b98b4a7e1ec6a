#include "platform/Files.h"
#include "platform/TextLines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(TextLines, SplitsAtEveryKindOfBreakAndKeepsNulBytes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(platform::SplitLines(""), V{});
    EXPECT_EQ(platform::SplitLines("a\rb\nc\r\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(platform::SplitLines("a\r\n"), V{"a"});
    EXPECT_EQ(platform::SplitLines("a\r\n\r\n"), (V{"a", ""}));
    EXPECT_EQ(platform::SplitLines("\r\n"), V{""});
    EXPECT_EQ(platform::SplitLines("\n\r"), (V{"", ""}));
    EXPECT_EQ(platform::SplitLines(std::string("a\nb\0c\nd", 7)),
              (V{"a", std::string("b\0c", 3), "d"}));
    EXPECT_EQ(platform::JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(platform::JoinLines({}), "");
}

TEST(Files, AtomicWriteReplacesWholeFollowsLinksAndRefusesFolders) {
    const fs::path dir = fs::temp_directory_path() / ("files-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string target = (dir / "list.txt").string();

    ASSERT_TRUE(platform::WriteFileAtomically(target, "one", platform::NewFileMode::Shared));
    EXPECT_EQ(platform::ReadWholeFile(target), "one");
    ::chmod(target.c_str(), 0604);
    ASSERT_TRUE(platform::WriteFileAtomically(target, "two", platform::NewFileMode::OwnerOnly));
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);

    // Created anew: the old mode does not carry over.
    ASSERT_TRUE(platform::WriteFileAtomically(target, "three", platform::NewFileMode::OwnerOnly,
                                              platform::ExistingFileMode::Replace));
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string link = (dir / "link.txt").string();
    fs::create_symlink(target, link);
    ASSERT_TRUE(platform::WriteFileAtomically(link, "four", platform::NewFileMode::Shared));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(platform::ReadWholeFile(target), "four");

    const std::string folder = (dir / "folder").string();
    fs::create_directory(folder);
    EXPECT_FALSE(platform::WriteFileAtomically(folder, "x", platform::NewFileMode::Shared));
    EXPECT_FALSE(platform::ReadWholeFile(folder).has_value());
    EXPECT_FALSE(platform::ReadWholeFile((dir / "missing").string()).has_value());
    // No temporary file is left behind by any of it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);

    EXPECT_TRUE(platform::RemoveFile(target));
    EXPECT_FALSE(platform::RemoveFile(target));
    fs::remove_all(dir);
}

TEST(Files, ProgramFolderIsTheExecutablesFolderWithItsSeparator) {
    EXPECT_EQ(platform::ProgramFolder().back(), '/');
    platform::SetExecutablePathForTesting("/opt/mbv/MyBrindleViewer");
    EXPECT_EQ(platform::ProgramFolder(), "/opt/mbv/");
}

TEST(Files, ALinkOfAnotherAccountIsNeitherReadNorWrittenThrough) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the super-user can give a link to another account";
    }
    const fs::path dir = fs::temp_directory_path() / ("links-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "bashrc") << "victim's shell";
    const std::string planted = (dir / "clientlist.txt").string();
    fs::create_symlink(dir / "bashrc", planted);
    ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);

    const platform::FileBytes read = platform::ReadBytes(planted);
    EXPECT_FALSE(read.bytes.has_value());
    EXPECT_FALSE(read.missing);
    EXPECT_EQ(read.reason, "it is a link that another user made");
    EXPECT_FALSE(platform::WriteTarget(planted).has_value());
    EXPECT_FALSE(
        platform::WriteFileAtomically(planted, "Mallory\r\n", platform::NewFileMode::Shared));
    std::ifstream in(dir / "bashrc");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "victim's shell");

    // The user's own link is followed, as before.
    ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
    EXPECT_EQ(platform::ReadWholeFile(planted), "victim's shell");
    fs::remove_all(dir);
}

// What another member of a shared book folder can plant, against what the program writes there.
TEST(Files, AFolderOthersMayWriteCannotTurnAWriteAgainstTheUser) {
    const fs::path dir = fs::temp_directory_path() / ("hostile-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string list = (dir / "clientlist.txt").string();
    const fs::path outside = dir.parent_path() / ("bashrc-" + std::to_string(::getpid()));
    std::ofstream(outside) << "victim's shell";
    ::chmod(outside.c_str(), 0644);
    struct stat st {};

    // A setuid, setgid, sticky list file: the new one keeps the permissions, not those bits.
    std::ofstream(list) << "#!/bin/sh\n";
    ::chmod(list.c_str(), 07777);
    ASSERT_TRUE(platform::WriteFileAtomically(list, "Acme\r\n", platform::NewFileMode::Shared));
    ::stat(list.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
    ASSERT_TRUE(platform::WriteFileAtomically(list, "Acme\r\n", platform::NewFileMode::OwnerOnly,
                                              platform::ExistingFileMode::Tighten));
    ::stat(list.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A temporary swapped for a link before its rename: the link never reaches the book.
    auto temp = platform::TempFile::Create(dir.string() + "/");
    ASSERT_TRUE(temp && temp->Write("Mallory\r\n"));
    ASSERT_TRUE(
        temp->Finish(platform::NewFileMode::Shared, platform::ExistingFileMode::Keep, list));
    const std::string tempPath = temp->Path();
    fs::remove(tempPath);
    fs::create_symlink(outside, tempPath);
    EXPECT_FALSE(temp->MoveTo(list));
    EXPECT_FALSE(fs::is_symlink(list));
    EXPECT_EQ(platform::ReadWholeFile(list), "Acme\r\n");
    fs::remove(tempPath);
    temp.reset();

    // A file that is a link when its mode is tightened: nothing outside the folder changes.
    const std::string settings = (dir / "myviewer.ini").string();
    fs::create_symlink(outside, settings);
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(settings.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(platform::RestrictToOwner(settings));
    }
    ::stat(outside.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // The lock: a FIFO or a link to a device is no lock and is never waited on.
    const std::string lock = (dir / ".mbv-open.lock").string();
    ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0);
    platform::LockOutcome outcome = platform::LockOutcome::Taken;
    EXPECT_EQ(platform::TakeLock(lock, outcome), nullptr);
    EXPECT_EQ(outcome, platform::LockOutcome::NotALock);
    fs::remove(lock);
    fs::create_symlink("/dev/zero", lock);
    EXPECT_EQ(platform::TakeLock(lock, outcome), nullptr);
    EXPECT_EQ(outcome, platform::LockOutcome::NotALock);
    fs::remove(lock);
    // A regular file locks once at a time, whatever text it holds.
    std::ofstream(lock) << "1\nMyBrindleViewer\nsomewhere\n";
    auto first = platform::TakeLock(lock, outcome);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(outcome, platform::LockOutcome::Taken);
    EXPECT_EQ(platform::TakeLock(lock, outcome), nullptr);
    EXPECT_EQ(outcome, platform::LockOutcome::HeldByAnother);
    first.reset();
    EXPECT_NE(platform::TakeLock(lock, outcome), nullptr);

    fs::remove_all(dir);
    fs::remove(outside);
}
