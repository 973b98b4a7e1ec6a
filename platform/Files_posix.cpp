#include "platform/Files.h"
#include "platform/PathEntries.h"

#include "platform/Folder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Closes a descriptor without disturbing the errno of what failed before.
void CloseKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// The mode a file written over the target gets.
mode_t TargetMode(NewFileMode newMode, ExistingFileMode existingMode, const std::string& target) {
    const mode_t fresh = newMode == NewFileMode::OwnerOnly ? 0600 : (0666 & ~CurrentUmask());
    struct stat st {};
    if (existingMode == ExistingFileMode::Replace || ::stat(target.c_str(), &st) != 0) {
        return fresh;
    }
    // Never setuid, setgid or sticky: whoever made the old file so, the new one is the user's.
    const mode_t kept = st.st_mode & 0777;
    return existingMode == ExistingFileMode::Tighten ? (kept & 0700) : kept;
}

// Held with an exclusive lock while open: a start-up of another copy of the program sees the
// lock and leaves the file alone. The lock goes with the descriptor, also when the process is
// killed.
class PosixTempFile final : public TempFile {
public:
    PosixTempFile(std::string path, int fd) : fd_(fd) { path_ = std::move(path); }
    ~PosixTempFile() override {
        if (!moved_) {
            ::unlink(path_.c_str());
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool Write(std::string_view bytes) override { return WriteAll(fd_, bytes); }

    bool Finish(NewFileMode newMode, ExistingFileMode existingMode,
                const std::string& target) override {
        return ::fchmod(fd_, TargetMode(newMode, existingMode, target)) == 0 && ::fsync(fd_) == 0;
    }

    bool MoveTo(const std::string& target) override {
        // The name must still be this file: something else put under it in a folder others
        // may write is never renamed into the book.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd_, &held) != 0 || ::lstat(path_.c_str(), &named) != 0 ||
            held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
            errno = EPERM;
            return false;
        }
        if (!MoveOver(path_, target)) {
            return false;
        }
        moved_ = true;
        return true;
    }

    void Keep() override {
        moved_ = true;
        ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    bool moved_ = false;
};

FileStamp StampFrom(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp.ours = S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
                 (st.st_mode & (S_ISUID | S_ISGID)) == 0;
    return stamp;
}

} // namespace

FileStamp StampOf(const std::string& path) {
    const std::optional<std::string> real = FollowOwnLinks(path);
    struct stat st {};
    if (!real || ::stat(real->c_str(), &st) != 0) {
        return {};
    }
    return StampFrom(st);
}

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

FileBytes ReadBytes(const std::string& path, size_t most) {
    FileBytes result;
    const std::optional<std::string> real = FollowOwnLinks(path);
    if (!real) {
        result.reason = "it is a link that another user made";
        return result;
    }
    // Not blocking: a FIFO opened for reading would wait for a writer. Not through a link that
    // stands there since the look above.
    const int fd = ::open(real->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        result.missing = errno == ENOENT;
        result.reason = std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        CloseKeepingErrno(fd);
        errno = folder ? EISDIR : EINVAL;
        result.reason = folder ? "it is a folder" : "it is not a regular file";
        return result;
    }
    result.stamp = StampFrom(st);
    std::string content;
    if (static_cast<size_t>(st.st_size) > most) {
        // The last bytes only: a file that grows while it is read ends where it was measured.
        content.resize(most);
        const off_t from = st.st_size - static_cast<off_t>(most);
        size_t got = 0;
        while (got < most) {
            const ssize_t n =
                ::pread(fd, content.data() + got, most - got, from + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        ::close(fd);
        content.resize(got);
        result.cut = true;
        result.bytes = std::move(content);
        return result;
    }
    // One byte more than its size, so the read that finds the end needs no second buffer.
    content.resize(static_cast<size_t>(st.st_size) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == content.size()) {
            // The file may have grown since it was measured.
            content.resize(content.size() + 65536);
        }
        const ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.reason = std::strerror(errno);
            CloseKeepingErrno(fd);
            return result;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<size_t>(n);
    }
    ::close(fd);
    content.resize(filled);
    result.bytes = std::move(content);
    return result;
}

AppendOutcome AppendToOwnFile(const std::string& path, std::string_view bytes) {
    // Not through a link, not blocking on a FIFO; made for this user when missing.
    const int fd =
        ::open(path.c_str(),
               O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        return errno == ELOOP ? AppendOutcome::NotOurs : AppendOutcome::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || (st.st_mode & (S_ISUID | S_ISGID)) != 0) {
        ::close(fd);
        return AppendOutcome::NotOurs;
    }
    std::string whole;
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        whole = "\r\n";
    }
    whole.append(bytes);
    size_t done = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(fd, whole.data() + done, whole.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            CloseKeepingErrno(fd);
            return AppendOutcome::Failed;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        CloseKeepingErrno(fd);
        return AppendOutcome::Failed;
    }
    ::close(fd);
    return AppendOutcome::Appended;
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& folder, std::string_view prefix) {
    for (;;) {
        std::string path = folder + std::string(prefix) + "XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        // Between the create and the lock another copy's start-up may have taken it for stale
        // and removed it: then the name is no longer ours, and another one is made.
        struct stat held {};
        struct stat named {};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 &&
            ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            return std::make_unique<PosixTempFile>(std::move(path), fd);
        }
        ::close(fd);
    }
}

bool MoveOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    CloseKeepingErrno(fd);
    return ok;
}

std::vector<std::string> FolderEntries(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) == prefix) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of('/');
    return separator == std::string::npos ? std::string("./") : path.substr(0, separator + 1);
}

std::optional<std::string> WriteTarget(const std::string& path) {
    return FollowOwnLinks(path);
}

bool MayWrite(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::access(path.c_str(), W_OK) == 0;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode newMode,
                         ExistingFileMode existingMode) {
    const std::optional<std::string> target = WriteTarget(path);
    if (!target) {
        errno = EPERM;
        return false;
    }
    if (!MayWrite(*target)) {
        return false;
    }
    const auto temp = TempFile::Create(FolderOf(*target));
    return temp && temp->Write(content) && temp->Finish(newMode, existingMode, *target) &&
           temp->MoveTo(*target) && SyncFolder(FolderOf(*target));
}

bool CreateFreshFile(const std::string& path, std::string_view content) {
    // Whatever stands there goes first: a link is removed, not followed. A folder stays, and
    // the exclusive create below then fails on it.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT && errno != EISDIR && errno != EPERM) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, content);
    if (!ok) {
        CloseKeepingErrno(fd);
        ::unlink(path.c_str());
        return false;
    }
    return ::close(fd) == 0;
}

bool MayCreateFilesIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool CreateOwnerOnlyFolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string trimmed = path.substr(0, path.find_last_not_of('/') + 1);
    const size_t parent = trimmed.find_last_of('/');
    if (parent != std::string::npos && parent > 0 &&
        !CreateOwnerOnlyFolder(trimmed.substr(0, parent))) {
        return false;
    }
    return (::mkdir(trimmed.c_str(), 0700) == 0 || errno == EEXIST) &&
           ::stat(trimmed.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RestrictToOwner(const std::string& path) {
    const std::optional<std::string> real = FollowOwnLinks(path);
    if (!real) {
        errno = EPERM;
        return false;
    }
    // Changed through the file opened, never by its name: a link put there meanwhile is not
    // followed, and nothing outside the folder is touched.
    const int fd = ::open(real->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (st.st_mode & 07077) != 0) {
        ok = st.st_uid == ::geteuid() && ::fchmod(fd, st.st_mode & 0700) == 0;
    }
    CloseKeepingErrno(fd);
    return ok;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

namespace {

class PosixLock final : public HeldLock {
public:
    PosixLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    // The file goes with the lock, unless something else stands under its name by now.
    ~PosixLock() override {
        struct stat held {};
        struct stat named {};
        if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev &&
            held.st_uid == ::geteuid()) {
            ::unlink(path_.c_str());
        }
        ::close(fd_);
    }

private:
    int fd_;
    std::string path_;
};

} // namespace

std::unique_ptr<HeldLock> TakeLock(const std::string& path, LockOutcome& outcome) {
    outcome = LockOutcome::NotALock;
    constexpr int Flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | Flags, 0600);
    if (fd < 0 && errno == EACCES) {
        // Another member's lock in a shared folder locks as well read-only.
        fd = ::open(path.c_str(), O_RDONLY | Flags);
    }
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        outcome = errno == EWOULDBLOCK ? LockOutcome::HeldByAnother : LockOutcome::NotALock;
        ::close(fd);
        return nullptr;
    }
    outcome = LockOutcome::Taken;
    return std::make_unique<PosixLock>(fd, path);
}

std::vector<std::string> PathEntries() {
    std::vector<std::string> entries;
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return entries;
    }
    const std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        entries.push_back(dirs.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

} // namespace platform
