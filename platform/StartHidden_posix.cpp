#include "platform/StartHidden.h"

#include "platform/BatchLine.h"
#include "platform/Files.h"
#include "platform/PathEntries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
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

// Starts the program in a session of its own, with no terminal, its standard streams on
// /dev/null and the signals at their defaults. A child in between starts it and ends at once:
// the program is then the system's to reap, and never lingers as a zombie of ours, with no
// thread left waiting for it.
void SpawnDetached(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Everything is made before the fork: after it, only calls safe in a copy of a threaded
    // process.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        return;
    }
    const pid_t between = ::fork();
    if (between == 0) {
        if (::fork() == 0) {
            ::setsid();
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            for (int signal = 1; signal < NSIG; ++signal) {
                if (signal != SIGKILL && signal != SIGSTOP) {
                    ::sigaction(signal, &fallback, nullptr);
                }
            }
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (const int fd : {0, 1, 2}) {
                ::dup2(null, fd);
            }
            ::close_range(3, ~0U, 0);
            ::execve(argv[0], argv.data(), environ);
        }
        ::_exit(0);
    }
    ::close(null);
    if (between > 0) {
        int status = 0;
        while (::waitpid(between, &status, 0) < 0 && errno == EINTR) {
        }
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
