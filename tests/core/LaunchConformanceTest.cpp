// A launch line written as a batch file and started hidden reaches the viewer with the same
// arguments on every platform: through our batch runner on Linux, through the command
// interpreter on Windows.
#include "core/Commit.h"
#include "core/LaunchLine.h"
#include "core/ProgramFiles.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

namespace {

// Waits until the condition holds or the time is up; whether it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class LaunchLine : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / GetParam();
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "Bin");
        fs::copy_file(STAND_IN_VIEWER, folder_ / "Bin" / "vncviewer.exe");
    }
    // Wine's interpreter holds the batch file, and the viewer its own file, until they end:
    // the folder goes once they let go, whether the test passed or not.
    void TearDown() override {
        EXPECT_TRUE(WaitUntil(
            [&] {
                std::error_code error;
                fs::remove_all(folder_, error);
                return !error;
            },
            std::chrono::seconds(30)));
    }

    // Writes the line the program makes of these inputs, starts it, and returns what the
    // viewer got after its own name.
    Args Launch(core::LaunchInputs inputs) {
        const core::ProgramFiles files(folder_.string() + platform::PathSeparator());
        inputs.folder = files.Folder();
        inputs.quote = "\"";
        core::CheckLaunchInputs(inputs);
        const std::string line = core::LaunchLine(inputs);
        // The previous launch's interpreter may still hold the batch file.
        std::string written;
        EXPECT_TRUE(WaitUntil(
            [&] {
                try {
                    written = files.WriteBatchFile({line});
                    return true;
                } catch (const core::ESaveError&) {
                    return false;
                }
            },
            std::chrono::seconds(10)));
        files.StartBatchFile(written);
        const fs::path record = folder_ / "viewer-args";
        WaitUntil([&] { return fs::exists(record); }, std::chrono::seconds(30));
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

const Args TailArgs = {"-keepalive", "1", "-dsmplugin", "SecureVNCPlugin.dsm"};

Args Concat(Args head, const Args& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

core::LaunchInputs Inputs(std::string host, std::string port, std::string id, std::string quality,
                          std::string password) {
    core::LaunchInputs in;
    in.host = std::move(host);
    in.port = std::move(port);
    in.id = std::move(id);
    in.quality = std::move(quality);
    in.password = std::move(password);
    return in;
}

} // namespace

TEST_P(LaunchLine, TheViewerGetsTheArgumentsOfTheLine) {
    core::LaunchInputs typical = Inputs("192.0.2.10", "5901", "123456", "3", "");
    typical.autoreconnect = " -autoreconnect";
    typical.connect = " -connect";
    typical.autoscaling = " -autoscaling";
    EXPECT_EQ(Launch(typical), Concat({"-proxy", "192.0.2.10:5901", "-autoreconnect", "-connect",
                                       "ID:123456", "-quickoption", "3", "-autoscaling"},
                                      TailArgs));
    // Empty port, quality and password.
    core::LaunchInputs empty = Inputs("h", "", "1", "", "");
    empty.passwordSwitch = " -password ";
    EXPECT_EQ(Launch(empty),
              Concat({"-proxy", "h:", "ID:1", "-quickoption"}, Concat(TailArgs, {"-password"})));
}

TEST_P(LaunchLine, CharactersTheInterpreterTreatsSpeciallyAreData) {
    core::LaunchInputs special = Inputs("rep&echo x|y", "5901", "12 & del *", "3", "p<w>^%d%");
    special.passwordSwitch = " -password ";
    EXPECT_EQ(Launch(special), Concat({"-proxy", "rep&echo", "x|y:5901", "ID:12", "&", "del", "*",
                                       "-quickoption", "3"},
                                      Concat(TailArgs, {"-password", "p<w>^%d%"})));
    // A quote in the data groups what follows, for the viewer as for the interpreter.
    core::LaunchInputs quoted = Inputs("a\"b&c", "1", "2", "", "x%y");
    quoted.passwordSwitch = " -password ";
    EXPECT_EQ(Launch(quoted), (Args{"-proxy", "ab&c:1 ID:2 -quickoption  -keepalive 1 "
                                              "-dsmplugin SecureVNCPlugin.dsm -password x%y"}));
    EXPECT_FALSE(fs::exists(folder_ / "x"));
}

INSTANTIATE_TEST_SUITE_P(Folders, LaunchLine,
                         ::testing::Values("mbv-launch", "mbv launch with blanks"));
