#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

bool Write(const std::string& path, const char* key, const char* value) {
    platform::ProfileFile file(path);
    return file.SetValue("a", key, value) && file.Flush();
}

} // namespace

// The file may hold the password.
TEST(ProfileMode, NewFilesAreTheOwnersAloneAndOldOnesLoseOthersPermissions) {
    const fs::path dir = fs::temp_directory_path() / ("profile-mode-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string created = (dir / "new.ini").string();
    ASSERT_TRUE(Write(created, "k", "1"));
    EXPECT_EQ(StatOf(created).st_mode & 0777, 0600u);

    const std::string existing = (dir / "old.ini").string();
    std::ofstream(existing) << "[a]\r\nk=1\r\n";
    ::chmod(existing.c_str(), 0744);
    ASSERT_TRUE(Write(existing, "k", "2"));
    EXPECT_EQ(StatOf(existing).st_mode & 0777, 0700u);

    // No value changed: the bytes and the time stay, only the permissions tighten.
    ::chmod(existing.c_str(), 0644);
    const struct timespec before = StatOf(existing).st_mtim;
    const ino_t inode = StatOf(existing).st_ino;
    ASSERT_TRUE(Write(existing, "k", "2"));
    EXPECT_EQ(StatOf(existing).st_mode & 0777, 0600u);
    EXPECT_EQ(StatOf(existing).st_ino, inode);
    EXPECT_EQ(StatOf(existing).st_mtim.tv_nsec, before.tv_nsec);
    EXPECT_EQ(StatOf(existing).st_mtim.tv_sec, before.tv_sec);
    fs::remove_all(dir);
}
