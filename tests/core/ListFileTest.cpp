#include "core/ListFile.h"
#include "core/Commit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

core::FileWrite ListWrite(const std::string& path, const std::vector<std::string>& rows) {
    return {path, core::ListBytes(rows), platform::NewFileMode::Shared,
            platform::ExistingFileMode::Keep, "Cannot create file " + path};
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(ListFile, RowsKeepTheirBytesThroughLoadAndSave) {
    const fs::path dir = fs::temp_directory_path() / ("listfile-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "clientlist.txt").string();
    const std::string bytes = "caf\xE9\r\n\xFF\xFE odd\r\n\xC3\xA9t\xC3\xA9\r\n\r\n";
    { std::ofstream(path, std::ios::binary) << bytes; }
    const core::ListFile list = core::LoadListFile(path);
    EXPECT_EQ(list.state, core::ListFile::Read);
    EXPECT_EQ(list.rows,
              (std::vector<std::string>{"caf\xE9", "\xFF\xFE odd", "\xC3\xA9t\xC3\xA9", ""}));
    EXPECT_EQ(core::LoadNotice(list), "");
    const std::string folder = dir.string() + "/";
    core::CommitFiles(folder, {ListWrite(path, list.rows)});
    EXPECT_EQ(Read(path), bytes);
    core::CommitFiles(folder, {ListWrite(path, {})});
    EXPECT_EQ(fs::file_size(path), 0u);
    fs::remove_all(dir);
}

TEST(ListFile, OnlyAMissingFileIsAFirstRun) {
    const fs::path dir = fs::temp_directory_path() / ("listfile-n-" + std::to_string(::getpid()));
    fs::create_directories(dir / "folder.txt");
    const core::ListFile missing = core::LoadListFile((dir / "missing.txt").string());
    EXPECT_EQ(missing.state, core::ListFile::Missing);
    EXPECT_EQ(core::LoadNotice(missing),
              "Cannot open file " + (dir / "missing.txt").string() +
                  ".\nIf this is your first run of My Brindle Viewer this file will be "
                  "created\nupon closing the program.");
    const core::ListFile folder = core::LoadListFile((dir / "folder.txt").string());
    EXPECT_EQ(folder.state, core::ListFile::Unreadable);
    EXPECT_EQ(core::LoadNotice(folder).rfind("Cannot open file " + folder.path +
                                                 ": it is a folder.\nThe file is left as it is",
                                             0),
              0u)
        << core::LoadNotice(folder);
    fs::remove_all(dir);
}
