#include "core/ListFile.h"
#include "core/Commit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

core::FileWrite ListWrite(const std::string& path, const std::vector<std::string>& rows) {
    return {path, core::ListBytes(rows), platform::NewFileMode::Shared,
            platform::ExistingFileMode::Keep, "Cannot create file " + path};
}

} // namespace

TEST(ListFile, RowsKeepTheirBytesThroughLoadAndSave) {
    const TempFolder dir("listfile");
    const std::string path = dir.File("clientlist.txt");
    const std::string bytes = "caf\xE9\r\n\xFF\xFE odd\r\n\xC3\xA9t\xC3\xA9\r\n\r\n";
    dir.Write("clientlist.txt", bytes);
    const core::ListFile list = core::LoadListFile(path);
    EXPECT_EQ(list.state, core::ListFile::Read);
    EXPECT_EQ(list.rows,
              (std::vector<std::string>{"caf\xE9", "\xFF\xFE odd", "\xC3\xA9t\xC3\xA9", ""}));
    EXPECT_EQ(core::LoadNotice(list), "");
    core::CommitFiles(dir.Folder(), {ListWrite(path, list.rows)});
    EXPECT_EQ(dir.Read("clientlist.txt"), bytes);
    core::CommitFiles(dir.Folder(), {ListWrite(path, {})});
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(ListFile, OnlyAMissingFileIsAFirstRun) {
    const TempFolder dir("listfile-n");
    fs::create_directories(dir.Path() / "folder.txt");
    const core::ListFile missing = core::LoadListFile(dir.File("missing.txt"));
    EXPECT_EQ(missing.state, core::ListFile::Missing);
    EXPECT_EQ(core::LoadNotice(missing),
              "Cannot open file " + dir.File("missing.txt") +
                  ".\nIf this is your first run of My Brindle Viewer this file will be "
                  "created\nupon closing the program.");
    const core::ListFile folder = core::LoadListFile(dir.File("folder.txt"));
    EXPECT_EQ(folder.state, core::ListFile::Unreadable);
    EXPECT_EQ(core::LoadNotice(folder).rfind("Cannot open file " + folder.path +
                                                 ": it is a folder.\nThe file is left as it is",
                                             0),
              0u)
        << core::LoadNotice(folder);
}
