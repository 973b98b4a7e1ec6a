#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

} // namespace

TEST(ProfileMode, ANewFileIsTheOwnersAloneAndAnOldOneKeepsItsMode) {
    const fs::path dir = fs::temp_directory_path() / ("profile-mode-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string created = (dir / "new.ini").string();
    ASSERT_TRUE(platform::SetProfileValue("a", "k", "1", created));
    EXPECT_EQ(ModeOf(created), 0600u);

    const std::string existing = (dir / "old.ini").string();
    std::ofstream(existing) << "[a]\r\nk=1\r\n";
    ::chmod(existing.c_str(), 0640);
    ASSERT_TRUE(platform::SetProfileValue("a", "k", "2", existing));
    EXPECT_EQ(ModeOf(existing), 0640u);
    fs::remove_all(dir);
}
