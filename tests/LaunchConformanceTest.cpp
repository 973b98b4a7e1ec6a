// A launch line written as a batch file and started hidden reaches the viewer with the same
// arguments on every platform: through our batch runner on Linux, through the command
// interpreter on Windows.
#include "BatchLine.h"
#include "Files.h"
#include "StartHidden.h"
#include "TextLines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

namespace {

class LaunchLine : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / GetParam();
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "Bin");
        fs::copy_file(STAND_IN_VIEWER, folder_ / "Bin" / "vncviewer.exe");
    }
    void TearDown() override { fs::remove_all(folder_); }

    // The folder as the program knows its own: with its separator at the end.
    std::string Folder() const { return folder_.string() + platform::PathSeparator(); }

    // Writes the line with the program's escapes, starts it, and returns what the viewer got
    // after its own name.
    Args Launch(const std::vector<std::string>& pieces) {
        platform::BatchLineWriter line;
        line.Append("\"").Append(Folder()).Append("Bin\\vncviewer.exe").Append("\"");
        for (const auto& piece : pieces) {
            line.Append(piece);
        }
        const std::string batch = Folder() + platform::PathSeparator() + "vncviewer.bat";
        // Wine's interpreter keeps the previous launch's batch file open until its viewer has
        // ended, and an open file cannot be replaced: wait for it to let go.
        const auto writeDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool written = false;
        while (!(written = platform::WriteFileAtomically(batch, platform::JoinLines({line.Line()}),
                                                         platform::NewFileMode::OwnerOnly,
                                                         platform::ExistingFileMode::Replace)) &&
               std::chrono::steady_clock::now() < writeDeadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(written);
        platform::StartBatchFileHidden(batch);
        const fs::path record = folder_ / "viewer-args";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::ifstream in(record, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        in.close();
        fs::remove(record);
        Args args;
        const std::string text = bytes.str();
        size_t start = 0;
        for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
            args.push_back(text.substr(start, end - start));
        }
        if (args.empty()) {
            return {"<the viewer did not start>"};
        }
        EXPECT_NE(args.front().find("vncviewer.exe"), std::string::npos) << args.front();
        return Args(args.begin() + 1, args.end());
    }

    fs::path folder_;
};

const std::string Tail = " -keepalive 1 -dsmplugin SecureVNCPlugin.dsm";
const Args TailArgs = {"-keepalive", "1", "-dsmplugin", "SecureVNCPlugin.dsm"};

Args Concat(Args head, const Args& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

} // namespace

TEST_P(LaunchLine, TheViewerGetsTheArgumentsOfTheLine) {
    EXPECT_EQ(Launch({" -proxy ", "192.0.2.10", ":", "5901", " -autoreconnect", " -connect",
                      " ID:", "123456", " -quickoption ", "3", " -autoscaling", Tail}),
              Concat({"-proxy", "192.0.2.10:5901", "-autoreconnect", "-connect", "ID:123456",
                      "-quickoption", "3", "-autoscaling"},
                     TailArgs));
    // Empty port, quality and password.
    EXPECT_EQ(Launch({" -proxy ", "h", ":", "", " ID:", "1", " -quickoption ", "", Tail,
                      " -password ", ""}),
              Concat({"-proxy", "h:", "ID:1", "-quickoption"}, Concat(TailArgs, {"-password"})));
}

TEST_P(LaunchLine, CharactersTheInterpreterTreatsSpeciallyAreData) {
    EXPECT_EQ(
        Launch({" -proxy ", "rep&echo x|y", ":", "5901", " ID:", "12 & del *", " -quickoption ",
                "3", Tail, " -password ", "p<w>^%d%"}),
        Concat({"-proxy", "rep&echo", "x|y:5901", "ID:12", "&", "del", "*", "-quickoption", "3"},
               Concat(TailArgs, {"-password", "p<w>^%d%"})));
    // A quote in the data groups what follows, for the viewer as for the interpreter.
    EXPECT_EQ(Launch({" -proxy ", "a\"b&c", ":", "1", " ID:", "2", " -password ", "x%y"}),
              (Args{"-proxy", "ab&c:1 ID:2 -password x%y"}));
    EXPECT_FALSE(fs::exists(folder_ / "x"));
}

INSTANTIATE_TEST_SUITE_P(Folders, LaunchLine,
                         ::testing::Values("mbv-launch", "mbv launch with blanks"));
