#include "Files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace platform {
namespace {

// The umask cannot be read without setting it, which would race with other threads creating
// files; the kernel reports it in the process status instead.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

bool WriteAll(int fd, std::string_view content) {
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Writing through a link must change the file it points to, not replace the link.
std::string ResolveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

} // namespace

char PathSeparator() {
    return '/';
}

std::string ModuleFileName() {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) {
        return {};
    }
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        content.reserve(static_cast<size_t>(st.st_size));
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode newMode,
                         ExistingFileMode existingMode) {
    const std::string target = ResolveTarget(path);
    mode_t mode = newMode == NewFileMode::OwnerOnly ? 0600 : (0666 & ~CurrentUmask());
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        if (::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        if (existingMode == ExistingFileMode::Keep) {
            mode = st.st_mode & 07777;
        }
    }

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    const int saved = errno;
    if (::close(fd) != 0 || !ok) {
        ::unlink(temp.c_str());
        errno = ok ? errno : saved;
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temp.c_str());
        errno = renameError;
        return false;
    }
    return true;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

} // namespace platform
