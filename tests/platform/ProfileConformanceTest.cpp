// The settings-file functions as the program sees them, on every platform: our reader and
// writer on Linux, the system's own functions on Windows.
#include "platform/ProfileFile.h"
#include "support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("mbv-profile-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "myviewer.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Get(const char* section, const char* key, const char* fallback = "dflt") const {
        return platform::ProfileFile(path_).Value(section, key, fallback);
    }
    bool Set(const char* section, const char* key, const std::string& value) const {
        platform::ProfileFile file(path_);
        return file.SetValue(section, key, value) && file.Flush();
    }

    fs::path dir_;
    std::string path_;
};

} // namespace

TEST_F(Profile, ReadingComparesNamesWithoutCaseAndStripsBlanksAndOneQuotePair) {
    EXPECT_EQ(Get("quality", "setting", "3"), "3");
    Write("; comment\r\n"
          "[Quality]\r\n"
          "  Setting =  5  \r\n"
          "[password]\r\n"
          "value=\"  secret \"\r\n"
          "single='x'\r\n"
          "mixed=\"x'\r\n"
          "empty=\r\n"
          "long=" +
          std::string(3000, 'v') + "\r\n");
    EXPECT_EQ(Get("quality", "SETTING"), "5");
    EXPECT_EQ(Get("PASSWORD", "value"), "  secret ");
    EXPECT_EQ(Get("password", "single"), "x");
    EXPECT_EQ(Get("password", "mixed"), "\"x'");
    EXPECT_EQ(Get("password", "empty"), "");
    EXPECT_EQ(Get("password", "long"), std::string(2047, 'v'));
    EXPECT_EQ(Get("password", "missing"), "dflt");
    EXPECT_EQ(Get("port", "viewer"), "dflt");
}

TEST_F(Profile, WritesGrowTheFileInTheirOrder) {
    ASSERT_TRUE(Set("quality", "setting", "3"));
    ASSERT_TRUE(Set("quality", "auto", "1"));
    ASSERT_TRUE(Set("repeater", "lan", "1"));
    ASSERT_TRUE(Set("password", "value", ""));
    ASSERT_TRUE(Set("quality", "setting", "4"));
    EXPECT_EQ(Read(), "[quality]\r\nsetting=4\r\nauto=1\r\n[repeater]\r\nlan=1\r\n"
                      "[password]\r\nvalue=\r\n");
    EXPECT_EQ(Get("password", "value"), "");
}

TEST_F(Profile, AWriteKeepsWhatItDoesNotOwn) {
    Write("; keep me\r\n"
          "[quality]\r\n"
          "setting=3\r\n"
          "unknown=stays\r\n"
          "[other]\r\n"
          "x=y\r\n");
    ASSERT_TRUE(Set("QUALITY", "setting", "5"));
    ASSERT_TRUE(Set("quality", "auto", "1"));
    ASSERT_TRUE(Set("port", "viewer", "5901"));
    EXPECT_EQ(Read(), "; keep me\r\n"
                      "[quality]\r\n"
                      "setting=5\r\n"
                      "unknown=stays\r\n"
                      "auto=1\r\n"
                      "[other]\r\n"
                      "x=y\r\n"
                      "[port]\r\n"
                      "viewer=5901\r\n");
}

TEST_F(Profile, AWriteChangesOnlyTheLineItWrites) {
    Write("[quality]\r\n"
          "setting = 3\r\n"
          "other = kept as it is\r\n"
          "\r\n"
          "[port]\r\n"
          "viewer=1\r\n");
    ASSERT_TRUE(Set("port", "viewer", "2"));
    if (RunningUnderWine()) {
        // Known Wine difference: Wine 8 writes the whole file anew, so blank lines vanish and
        // "k = v" becomes "k=v"; Windows and our writer change only the line written.
        EXPECT_EQ(Read(), "[quality]\r\nsetting=3\r\nother=kept as it is\r\n"
                          "[port]\r\nviewer=2\r\n");
        return;
    }
    EXPECT_EQ(Read(), "[quality]\r\n"
                      "setting = 3\r\n"
                      "other = kept as it is\r\n"
                      "\r\n"
                      "[port]\r\n"
                      "viewer=2\r\n");
}

TEST_F(Profile, DefaultsLoseTrailingBlanksAndNamesAskedForLoseTheirs) {
    EXPECT_EQ(Get("quality", "setting", "dflt   "), "dflt");
    EXPECT_EQ(Get("quality", "setting", "  d f  "), "  d f");
    Write("[repeater]\r\naddress=1\r\n");
    EXPECT_EQ(Get(" repeater ", "address"), "1");
    EXPECT_EQ(Get("\trepeater", " address\t"), "1");
    ASSERT_TRUE(Set(" repeater\t", " address ", "0"));
    EXPECT_EQ(Read(), "[repeater]\r\naddress=0\r\n");
}
