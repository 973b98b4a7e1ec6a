#include "core/ListFile.h"
#include "core/Commit.h"
#include "core/DisplayText.h"
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

// The one rule for names from any source, and the display of rows that a file already holds.
TEST(DisplayText, InvisibleAndReorderingCharactersAreNeitherShownNorTaken) {
    const std::string rlo = "\xE2\x80\xAE";
    const std::string spoof = "Baker & Sons" + rlo + "815402";
    EXPECT_EQ(core::DisplayUtf8(spoof), "Baker & Sons815402");
    for (const char* invisible : {"\xE2\x80\xAA", "\xE2\x81\xA6", "\xE2\x81\xA9", "\xE2\x80\x8B",
                                  "\xE2\x80\x8D", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xEF\xBB\xBF",
                                  "\xC2\xAD", "\xC2\x85", "\xF3\xA0\x80\x81"}) {
        EXPECT_EQ(core::DisplayUtf8(std::string("A") + invisible + "B"), "AB") << invisible;
        EXPECT_EQ(core::CleanName(std::string("A") + invisible + "B\x01"), "AB") << invisible;
    }
    // Visible text, accents and other scripts stay as they are.
    EXPECT_EQ(core::CleanName("Z\xC3\xBCrich \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"),
              "Z\xC3\xBCrich \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");
    // Windows-1252 bytes lose only control characters.
    EXPECT_EQ(core::CleanName("Caf\xE9\x02"), "Caf\xE9");

    // At most MaxNameCharacters characters, both ends kept; a huge name costs no more.
    std::string longName = "Start" + std::string(200000, 'x') + "\xC3\xA9nd";
    const std::string kept = core::CleanName(longName);
    EXPECT_TRUE(kept.starts_with("Startxx"));
    EXPECT_TRUE(kept.ends_with("xx\xC3\xA9nd"));
    EXPECT_EQ(core::DisplayUtf8(kept).size(), kept.size());
    size_t characters = 0;
    for (const char c : kept) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    EXPECT_EQ(characters, core::MaxNameCharacters);
    const std::string exact(core::MaxNameCharacters, 'y');
    EXPECT_EQ(core::CleanName(exact), exact);
}
