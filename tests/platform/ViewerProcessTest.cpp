#include "platform/ViewerProcess.h"

#include "base/Exception.h"
#include "support/ChildProcesses.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Everything the program wrote, up to its end; then how it ended.
std::pair<std::string, platform::ProcessEnd> RunToEnd(platform::ChildProcess& child) {
    std::string output;
    bool ended = false;
    while (!ended) {
        pollfd wait{child.OutputDescriptor(), POLLIN, 0};
        ::poll(&wait, 1, 5000);
        output += child.ReadOutput(ended);
    }
    pollfd end{child.EndDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&end, 1, 5000), 1);
    std::optional<platform::ProcessEnd> how = child.Ended();
    EXPECT_TRUE(how.has_value());
    return {output, how.value_or(platform::ProcessEnd{})};
}

struct TempFolder {
    TempFolder() {
        char name[] = "/tmp/mbv-proc-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path); }
    fs::path path;
};

TEST(ChildProcess, TheInputArrivesBothStreamsComeBackAndTheEndIsTold) {
    auto child = platform::ChildProcess::Start(
        "/bin/sh", {"/bin/sh", "-c", "read p; echo \"got $p\"; echo \"$EXTRA\" >&2; exit 3"},
        {"EXTRA=added"}, "secret\n");
    const auto [output, end] = RunToEnd(*child);
    EXPECT_EQ(output, "got secret\nadded\n");
    EXPECT_TRUE(end.exitedNormally);
    EXPECT_EQ(end.exitCode, 3);

    child = platform::ChildProcess::Start("/bin/sh", {"/bin/sh", "-c", "kill -9 $$"}, {}, "");
    const auto killed = RunToEnd(*child).second;
    EXPECT_FALSE(killed.exitedNormally);
    EXPECT_EQ(killed.exitCode, 9);

    // A program that cannot be run is an error, not a process that ends at once.
    EXPECT_THROW(platform::ChildProcess::Start("/nonexistent/viewer", {"viewer"}, {}, ""),
                 Exception);
    // Each of them reaped: no zombie of ours is left.
    EXPECT_EQ(ChildProcesses(), std::vector<int>{});
}

TEST(ChildProcess, ItOutlivesItsWatcherAndIsStoppedWithWhatItStarted) {
    TempFolder folder;
    const fs::path mark = folder.path / "still-running";
    {
        // Its output goes to a pipe nobody reads any more: that does not end it.
        auto child = platform::ChildProcess::Start(
            "/bin/sh",
            {"/bin/sh", "-c", "sleep 0.3; echo lost; echo lost >&2; touch '" + mark.string() + "'"},
            {}, "");
    }
    for (int i = 0; i < 100 && !fs::exists(mark); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(fs::exists(mark));

    // Stopped, the viewer takes what it started along.
    const fs::path grandchild = folder.path / "grandchild";
    auto child = platform::ChildProcess::Start(
        "/bin/sh", {"/bin/sh", "-c", "sleep 30 & echo $! > '" + grandchild.string() + "'; wait"},
        {}, "");
    int pid = 0;
    for (int i = 0; i < 100 && pid == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream(grandchild) >> pid;
    }
    ASSERT_GT(pid, 0);
    child->Stop();
    EXPECT_FALSE(RunToEnd(*child).second.exitedNormally);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string field;
        for (int n = 0; n < 3 && stat >> field; ++n) {
        }
        gone = !stat || field == "Z";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(gone);
}

TEST(FindTrustedProgram, OnlyFoldersNoOtherAccountMayWriteAreSearched) {
    TempFolder folder;
    const fs::path open = folder.path / "open";
    const fs::path mine = folder.path / "mine";
    for (const fs::path& dir : {open, mine}) {
        fs::create_directory(dir);
        std::ofstream(dir / "viewer") << "#!/bin/sh\n";
        ::chmod((dir / "viewer").c_str(), 0755);
    }
    ::chmod(mine.c_str(), 0755);
    ::chmod(open.c_str(), 0777);
    const std::string path = std::getenv("PATH");
    const auto find = [&](const std::string& entries) {
        ::setenv("PATH", entries.c_str(), 1);
        const std::string found = platform::FindTrustedProgram("viewer");
        ::setenv("PATH", path.c_str(), 1);
        return found;
    };
    EXPECT_EQ(find(open.string()), "");
    EXPECT_EQ(find(open.string() + ":" + mine.string()), (mine / "viewer").string());

    // A relative entry names whatever folder the program stands in.
    const fs::path here = fs::current_path();
    fs::current_path(mine);
    EXPECT_EQ(find(".:viewer-less:"), "");
    fs::current_path(here);

    // A file others may change, and a link into a folder others may write, are not run.
    ::chmod((mine / "viewer").c_str(), 0757);
    EXPECT_EQ(find(mine.string()), "");
    ::chmod((mine / "viewer").c_str(), 0755);
    const fs::path linked = folder.path / "linked";
    fs::create_directory(linked);
    ::chmod(linked.c_str(), 0755);
    fs::create_symlink(open / "viewer", linked / "viewer");
    EXPECT_EQ(find(linked.string()), "");
    // Names with a separator are paths, not programs to look for.
    EXPECT_EQ(platform::FindTrustedProgram("../mine/viewer"), "");
}

} // namespace
