#include "core/ListFile.h"
#include "core/Commit.h"
#include "core/DisplayText.h"
#include "platform/TextLines.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

core::FileWrite ListWrite(const std::string& path, const core::Rows& rows) {
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

namespace {

core::Rows::Bytes Shared(std::string bytes) {
    return std::make_shared<const std::string>(std::move(bytes));
}

} // namespace

// The rows of a file's bytes are those of the reading every earlier version did, and go back
// as the same bytes when the file had CR LF throughout.
TEST(ListRows, SplitAsLinesAreAndJoinAsTheFileWas) {
    std::vector<std::string> cases = {"",       "a",    "a\r\n", "a\r\nb",   "a\nb\n",
                                      "a\rb\r", "\r\n", "\n\n",  "\r\r\n\n", "a\r\n\r\nb\r\n"};
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        std::string bytes;
        for (size_t n = random() % 40; n > 0; --n) {
            bytes += "ab\r\n\0\xC3"[random() % 6];
        }
        cases.push_back(bytes);
    }
    for (const std::string& bytes : cases) {
        const core::Rows rows(Shared(bytes));
        EXPECT_EQ(rows, platform::SplitLines(bytes)) << testing::PrintToString(bytes);
        EXPECT_EQ(rows.Join(), platform::JoinLines(platform::SplitLines(bytes)))
            << testing::PrintToString(bytes);
    }
}

// Edits of every kind, copies and rebases, checked against a plain list of strings after each
// step; rows with breaks inside (a shared book's server may send them) among them.
TEST(ListRows, EditsMatchAPlainList) {
    std::mt19937 random(11);
    const auto row = [&] {
        static const char* const pieces[] = {"Acme", "", "Zürich", "a\r\nb", "x\ny", "42"};
        return std::string(pieces[random() % 6]) + std::to_string(random() % 5);
    };
    std::vector<std::string> plain;
    for (int i = 0; i < 30; ++i) {
        plain.push_back(row());
    }
    core::Rows rows(Shared(platform::JoinLines(plain)));
    ASSERT_NE(rows, plain) << "rows with breaks in them are split by the file";
    rows = core::Rows(plain);
    plain = rows.Strings();
    for (int step = 0; step < 3000; ++step) {
        const size_t at = plain.empty() ? 0 : random() % plain.size();
        switch (random() % 8) {
        case 0:
        case 1: {
            const std::string added = row();
            rows.insert(at, added);
            plain.insert(plain.begin() + static_cast<std::ptrdiff_t>(at), added);
            break;
        }
        case 2:
            if (!plain.empty()) {
                rows.erase(at);
                plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(at));
            }
            break;
        case 3:
            if (!plain.empty()) {
                const std::string changed = row();
                rows.set(at, changed);
                plain[at] = changed;
            }
            break;
        case 4:
            rows.truncate(at);
            plain.resize(std::min(plain.size(), at));
            break;
        case 5: {
            const core::Rows more{"more", "a\rb"};
            rows.append(more);
            plain.insert(plain.end(), {"more", "a\rb"});
            break;
        }
        case 6: {
            // A copy stands on its own: changing it leaves the original as it was.
            core::Rows copy = rows;
            copy.push_back("only in the copy");
            rows = copy;
            rows.truncate(plain.size());
            break;
        }
        case 7: {
            const std::string written = rows.Join();
            rows.Rebase(Shared(written));
            break;
        }
        }
        ASSERT_EQ(rows, plain) << "step " << step;
        ASSERT_EQ(rows.Join(), platform::JoinLines(plain)) << "step " << step;
    }
}

// A book is held once: rows read from the bytes just written take them over only when they
// hold exactly these rows, whatever the count.
TEST(ListRows, RebaseOnlyOntoTheSameRows) {
    core::Rows rows(Shared("Acme\r\nBeta\r\n"));
    rows.set(1, "Gamma");
    const core::Rows::Bytes same = Shared("Acme\r\nGamma\r\n");
    const core::Rows::Bytes sameCount = Shared("Acme\r\nDelta\r\n");
    const core::Rows::Bytes split = Shared("Acme\r\nGam\r\nma\r\n");
    for (const auto& other : {sameCount, split}) {
        rows.Rebase(other);
        EXPECT_NE(rows.Source(), other);
        EXPECT_EQ(rows, (std::vector<std::string>{"Acme", "Gamma"}));
    }
    rows.Rebase(same);
    EXPECT_EQ(rows.Source(), same);
    EXPECT_EQ(rows, (std::vector<std::string>{"Acme", "Gamma"}));
    EXPECT_EQ(rows[1].data(), same->data() + 6);
}

// A row longer than a place can tell is still read from the file's bytes, not copied.
TEST(ListRows, ARowOfManyMegabytesIsReadInPlace) {
    std::string bytes = "short\r\n" + std::string(20u << 20, 'x') + "\r\nlast";
    const core::Rows::Bytes shared = Shared(std::move(bytes));
    const core::Rows rows(shared);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].size(), 20u << 20);
    EXPECT_EQ(rows[1].data(), shared->data() + 7);
    EXPECT_EQ(rows[2], "last");
    EXPECT_EQ(rows.Join(), *shared + "\r\n");
}
