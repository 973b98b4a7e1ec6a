#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The processes this one started that are still there, zombies included.
inline std::vector<int> ChildProcesses() {
    std::vector<int> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream list(task.path() / "children");
        for (int pid; list >> pid;) {
            children.push_back(pid);
        }
    }
    return children;
}

// Those of them whose command line holds the text: the viewers a window started, say.
inline std::vector<int> ChildProcessesRunning(const std::string& text) {
    std::vector<int> found;
    for (const int pid : ChildProcesses()) {
        std::ifstream command("/proc/" + std::to_string(pid) + "/cmdline");
        const std::string line{std::istreambuf_iterator<char>(command),
                               std::istreambuf_iterator<char>()};
        if (line.find(text) != std::string::npos) {
            found.push_back(pid);
        }
    }
    return found;
}
