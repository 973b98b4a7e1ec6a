#include "platform/StartHidden.h"

#include "platform/BatchLine.h"
#include "platform/Files.h"
#include "platform/PathEntries.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {
namespace {

bool IsWindowsExecutable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char magic[2] = {};
    const bool mz = ::read(fd, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    ::close(fd);
    return mz;
}

std::string FindOnPath(const std::string& name) {
    for (const std::string& entry : PathEntries()) {
        const std::string candidate = (entry.empty() ? "." : entry) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// Starts the program in a session of its own, with no terminal and its standard streams on
// /dev/null, and reaps it on a thread of its own so that it never lingers as a zombie.
void SpawnDetached(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (const int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);

    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed == 0) {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

} // namespace

ViewerProblem ViewerStartProblem(const std::string& viewerPath) {
    struct stat st {};
    if (::stat(viewerPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return ViewerProblem::Missing;
    }
    if (IsWindowsExecutable(viewerPath) && FindOnPath("wine").empty()) {
        return ViewerProblem::NeedsWine;
    }
    return ViewerProblem::None;
}

void StartBatchFileHidden(const std::string&, const std::string& written) {
    const std::string line = written.substr(0, written.find_first_of("\r\n"));
    std::vector<std::string> args = SplitCommandLine(UnescapeBatchLine(line));
    if (args.empty() || args.front().empty()) {
        return;
    }
    std::replace(args.front().begin(), args.front().end(), '\\', '/');
    if (IsWindowsExecutable(args.front())) {
        const std::string wine = FindOnPath("wine");
        if (!wine.empty()) {
            args.insert(args.begin(), wine);
        }
    }
    SpawnDetached(std::move(args));
}

} // namespace platform
