#include "ListFile.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(ListFile, RowsKeepTheirBytesThroughLoadAndSave) {
    const fs::path dir = fs::temp_directory_path() / ("listfile-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "clientlist.txt").string();
    const std::string bytes = "caf\xE9\r\n\xFF\xFE odd\r\n\xC3\xA9t\xC3\xA9\r\n\r\n";
    { std::ofstream(path, std::ios::binary) << bytes; }
    const auto rows = listfile::Load(path);
    EXPECT_EQ(rows, (std::vector<std::string>{"caf\xE9", "\xFF\xFE odd", "\xC3\xA9t\xC3\xA9", ""}));
    listfile::Save(path, rows);
    EXPECT_EQ(listfile::Load(path), rows);
    {
        // Closed before the next save: on Windows an open file cannot be replaced.
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
    }

    listfile::Save(path, {});
    EXPECT_EQ(fs::file_size(path), 0u);
    fs::remove_all(dir);
}

TEST(ListFile, ErrorsNameThePath) {
    try {
        listfile::Load("/nonexistent/x//clientlist.txt");
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file /nonexistent/x//clientlist.txt");
    }
    try {
        listfile::Save("/nonexistent/x//clientlist.txt", {"a"});
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(), "Cannot create file /nonexistent/x//clientlist.txt");
    }
}
