#include "platform/StartHidden.h"

#include "platform/BatchLine.h"
#include "platform/Files.h"
#include "platform/PathEntries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// The program, our child until it ends, watched through a descriptor of its process.
class PosixStartedProgram final : public StartedProgram {
public:
    PosixStartedProgram(pid_t pid, int endFd) : pid_(pid), endFd_(endFd) {}
    ~PosixStartedProgram() override {
        if (endFd_ >= 0) {
            ::close(endFd_);
        }
    }
    intptr_t EndHandle() const override { return endFd_; }
    std::optional<ProcessEnd> Ended() override {
        if (end_) {
            return end_;
        }
        int status = 0;
        pid_t got = 0;
        while ((got = ::waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (got != pid_) {
            return std::nullopt;
        }
        ProcessEnd end;
        end.exitedNormally = WIFEXITED(status);
        end.exitCode = end.exitedNormally ? WEXITSTATUS(status) : WTERMSIG(status);
        end_ = end;
        return end_;
    }

private:
    pid_t pid_;
    int endFd_;
    std::optional<ProcessEnd> end_;
};

// Starts the program in a session of its own, with no terminal, its standard streams on
// /dev/null and the signals at their defaults. It stays our child, so its end can be told; the
// end is read from its process descriptor by whoever watches, so no thread waits for it.
std::unique_ptr<StartedProgram> Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Everything is made before the fork: after it, only calls safe in a copy of a threaded
    // process.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
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
        ::_exit(127);
    }
    ::close(null);
    if (pid < 0) {
        return nullptr;
    }
    // Without process descriptors (a kernel before 5.3) the watcher asks now and then.
    const int endFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    return std::make_unique<PosixStartedProgram>(pid, endFd);
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

std::unique_ptr<StartedProgram> StartBatchFileHidden(const std::string&,
                                                     const std::string& written) {
    const std::string line = written.substr(0, written.find_first_of("\r\n"));
    std::vector<std::string> args = SplitCommandLine(UnescapeBatchLine(line));
    if (args.empty() || args.front().empty()) {
        return nullptr;
    }
    std::replace(args.front().begin(), args.front().end(), '\\', '/');
    if (IsWindowsExecutable(args.front())) {
        const std::string wine = FindOnPath("wine");
        if (!wine.empty()) {
            args.insert(args.begin(), wine);
        }
    }
    return Spawn(std::move(args));
}

} // namespace platform
