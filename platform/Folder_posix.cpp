#include "platform/Folder.h"

#include "platform/Files.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

struct Folder::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

namespace {

// Links followed one after another before giving up, as the system's own limit does.
constexpr int MaxLinkDepth = 16;

Entry EntryOf(const struct stat& st) {
    Entry entry;
    entry.kind = S_ISREG(st.st_mode)   ? Entry::Regular
                 : S_ISLNK(st.st_mode) ? Entry::Link
                                       : Entry::Other;
    entry.ours = st.st_uid == ::geteuid();
    entry.size = static_cast<uint64_t>(st.st_size);
    return entry;
}

// Whether the group may hold nobody but this user: no other member listed, and no other
// account with it as its own group.
bool GroupIsTheUsersAlone(gid_t gid) {
    const passwd* me = ::getpwuid(::geteuid());
    if (me == nullptr) {
        return false;
    }
    const std::string myName = me->pw_name;
    const group* g = ::getgrgid(gid);
    if (g == nullptr) {
        return false;
    }
    for (char* const* member = g->gr_mem; *member != nullptr; ++member) {
        if (myName != *member) {
            return false;
        }
    }
    bool alone = true;
    ::setpwent();
    while (const passwd* account = ::getpwent()) {
        if (account->pw_gid == gid && account->pw_uid != ::geteuid()) {
            alone = false;
            break;
        }
    }
    ::endpwent();
    return alone;
}

} // namespace

Folder::Folder(std::string path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

Folder::~Folder() = default;

std::unique_ptr<Folder> Folder::Open(const std::string& path) {
    auto handle = std::make_unique<Handle>();
    handle->fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle->fd < 0) {
        return nullptr;
    }
    std::string folder = path;
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return std::unique_ptr<Folder>(new Folder(std::move(folder), std::move(handle)));
}

bool Folder::IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::vector<std::string> Folder::Names(std::string_view prefix) const {
    std::vector<std::string> names;
    const int fd = ::dup(handle_->fd);
    if (fd < 0) {
        return names;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) == prefix && IsPlainName(name)) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

Entry Folder::Look(const std::string& name) const {
    struct stat st {};
    if (!IsPlainName(name) || ::fstatat(handle_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return {};
    }
    return EntryOf(st);
}

bool Folder::IsHeld(const std::string& name) const {
    if (!IsPlainName(name)) {
        return false;
    }
    const int fd =
        ::openat(handle_->fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::optional<std::string> Folder::ReadOwn(const std::string& name, size_t maxBytes) const {
    if (!IsPlainName(name)) {
        return std::nullopt;
    }
    const int fd = ::openat(handle_->fd, name.c_str(),
                            O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        static_cast<uint64_t>(st.st_size) <= maxBytes) {
        // One byte more than allowed tells a file that grew since it was measured.
        std::string content(maxBytes + 1, '\0');
        size_t filled = 0;
        for (;;) {
            const ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                if (n == 0 && filled <= maxBytes) {
                    content.resize(filled);
                    bytes = std::move(content);
                }
                break;
            }
            filled += static_cast<size_t>(n);
            if (filled == content.size()) {
                break;
            }
        }
    }
    ::close(fd);
    return bytes;
}

bool Folder::Rename(const std::string& from, const std::string& to) const {
    return IsPlainName(from) && IsPlainName(to) &&
           ::renameat(handle_->fd, from.c_str(), handle_->fd, to.c_str()) == 0;
}

bool Folder::Remove(const std::string& name) const {
    return IsPlainName(name) && ::unlinkat(handle_->fd, name.c_str(), 0) == 0;
}

bool Folder::Sync() const {
    return ::fsync(handle_->fd) == 0;
}

std::optional<std::string> FollowOwnLinks(const std::string& path) {
    std::string current = path;
    struct stat first {};
    if (::lstat(current.c_str(), &first) != 0 || !S_ISLNK(first.st_mode)) {
        return current; // the common case: no link, one look
    }
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        // The link itself, held while it is looked at: what it says is read from the very
        // link whose owner was checked.
        const int fd = ::open(current.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return current;
        }
        struct stat st {};
        if (::fstatat(fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(st.st_mode)) {
            ::close(fd);
            return current;
        }
        if (st.st_uid != ::geteuid()) {
            ::close(fd);
            return std::nullopt;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(fd, "", target.data(), target.size());
        ::close(fd);
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) {
            return std::nullopt;
        }
        target.resize(static_cast<size_t>(n));
        current = target.front() == '/' ? target : FolderOf(current) + target;
    }
    return std::nullopt;
}

bool IsPrivateFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        return false;
    }
    if (st.st_mode & S_IWOTH) {
        return false;
    }
    // With an access list, the group bits are its mask: someone it names may write.
    const bool accessList = ::getxattr(folder.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
    if (st.st_mode & S_IWGRP) {
        return !accessList && GroupIsTheUsersAlone(st.st_gid);
    }
    return true;
}

bool IsPrivateFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(st.st_mode) && (st.st_uid == ::geteuid() || st.st_uid == 0) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace platform
