#include "platform/ViewerProcess.h"

#include "base/Exception.h"
#include "platform/PathEntries.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

// Owned by the system or by this user, and writable by no one else.
bool OnlyOursOrTheSystems(const struct stat& st) {
    return (st.st_uid == 0 || st.st_uid == ::geteuid()) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool TrustedFolder(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && OnlyOursOrTheSystems(st);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

void CloseQuietly(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

bool HasSystemViewers() {
    return true;
}

std::string FindTrustedProgram(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    for (const std::string& dir : PathEntries()) {
        // "", "." and other relative entries name whatever folder the program stands in.
        if (dir.empty() || dir.front() != '/') {
            continue;
        }
        const std::string candidate = dir + "/" + name;
        char resolved[PATH_MAX];
        struct stat st {};
        if (::realpath(candidate.c_str(), resolved) == nullptr || ::stat(resolved, &st) != 0 ||
            !S_ISREG(st.st_mode) || !OnlyOursOrTheSystems(st) || ::access(resolved, X_OK) != 0) {
            continue;
        }
        // The link's folder decides where it points; the target's folder, what it is.
        if (!TrustedFolder(dir) || !TrustedFolder(FolderOf(resolved))) {
            continue;
        }
        return resolved;
    }
    return {};
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& extraEnvironment,
                                                  const std::string& input) {
    // Everything the child needs is made before the fork: after it, only calls that are safe
    // in a copy of a threaded process.
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& argument : args) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string key = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : extraEnvironment) {
            replaced = replaced || extra.compare(0, key.size(), key) == 0;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int failure[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* pair : {in, out, failure}) {
            CloseQuietly(pair[0]);
            CloseQuietly(pair[1]);
        }
    };
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(failure, O_CLOEXEC) != 0) {
        closeAll();
        throw Exception("Cannot start " + program + ": " + std::strerror(errno));
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        closeAll();
        throw Exception("Cannot start " + program + ": " + std::strerror(error));
    }
    if (pid == 0) {
        // A viewer whose window outlived ours writes to a pipe nobody reads: it must not die of
        // that. Ignored signals stay ignored across exec; the others get their defaults.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::setsid();
        if (::dup2(in[0], 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(out[1], 2) < 0) {
            const int error = errno;
            (void)!::write(failure[1], &error, sizeof error);
            ::_exit(127);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        const int error = errno;
        (void)!::write(failure[1], &error, sizeof error);
        ::_exit(127);
    }
    CloseQuietly(in[0]);
    CloseQuietly(out[1]);
    CloseQuietly(failure[1]);
    // The exec closes the failure pipe on success; an errno arrives on failure.
    int error = 0;
    ssize_t got = -1;
    do {
        got = ::read(failure[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    CloseQuietly(failure[0]);
    auto child = std::unique_ptr<ChildProcess>(new ChildProcess());
    child->pid_ = pid;
    child->output_ = out[0];
    if (got == static_cast<ssize_t>(sizeof error)) {
        CloseQuietly(in[1]);
        // It ends right after telling: reaped here, never left a zombie.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        child->reaped_ = true;
        throw Exception("Cannot start " + program + ": " + std::strerror(error));
    }
    // Readable once the child has ended (Linux 5.3 and later; -1 before).
    child->end_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    ::fcntl(child->output_, F_SETFL, ::fcntl(child->output_, F_GETFL) | O_NONBLOCK);
    // The password fits the pipe's buffer many times over: written at once, never waited on.
    ::fcntl(in[1], F_SETFL, ::fcntl(in[1], F_GETFL) | O_NONBLOCK);
    size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<size_t>(n);
    }
    CloseQuietly(in[1]);
    return child;
}

ChildProcess::~ChildProcess() {
    CloseQuietly(output_);
    CloseQuietly(end_);
    // One that still runs goes on; once this process is gone, the system reaps it.
    if (!reaped_) {
        Ended();
    }
}

std::string ChildProcess::ReadOutput(bool& ended) {
    std::string text;
    ended = false;
    if (output_ < 0) {
        ended = true;
        return text;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            if (text.size() >= 65536) {
                return text;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            ended = true;
            CloseQuietly(output_);
        }
        return text;
    }
}

std::optional<ProcessEnd> ChildProcess::Ended() {
    if (reaped_) {
        return std::nullopt;
    }
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        return std::nullopt;
    }
    reaped_ = true;
    CloseQuietly(end_);
    ProcessEnd end;
    if (got == pid_ && WIFEXITED(status)) {
        end.exitedNormally = true;
        end.exitCode = WEXITSTATUS(status);
    } else if (got == pid_ && WIFSIGNALED(status)) {
        end.exitCode = WTERMSIG(status);
    }
    return end;
}

void ChildProcess::Stop(bool force) {
    if (!reaped_) {
        // Its own session and process group: the viewer and whatever it started.
        const int signal = force ? SIGKILL : SIGTERM;
        ::kill(-pid_, signal);
        ::kill(pid_, signal);
    }
}

} // namespace platform
