#include "platform/Folder.h"

#include "platform/Files.h"
#include "platform/HeldFiles_win.h"

#include <windows.h>

#include <aclapi.h>

#include <memory>

namespace platform {

// Held open without delete sharing: nobody can rename the folder away, or put a link in its
// place, while the program works in it.
struct Folder::Handle {
    HANDLE dir = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (dir != INVALID_HANDLE_VALUE) {
            CloseHandle(dir);
        }
    }
};

namespace {

constexpr int MaxLinkDepth = 16;

// The user's own account, as the process's token names it.
struct UserSid {
    std::unique_ptr<char[]> buffer;
    PSID sid = nullptr;
};

const UserSid& CurrentUser() {
    static const UserSid user = [] {
        UserSid found;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            return found;
        }
        DWORD size = 0;
        GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
        found.buffer = std::make_unique<char[]>(size);
        if (GetTokenInformation(token, ::TokenUser, found.buffer.get(), size, &size)) {
            found.sid = reinterpret_cast<TOKEN_USER*>(found.buffer.get())->User.Sid;
        }
        CloseHandle(token);
        return found;
    }();
    return user;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// The user, or the administrators when the user is one of them (files an elevated program of
// theirs makes belong to the group).
bool IsTheUser(PSID sid) {
    if (CurrentUser().sid != nullptr && EqualSid(sid, CurrentUser().sid)) {
        return true;
    }
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) &&
           EqualSid(sid, admins) && CheckTokenMembership(nullptr, admins, &member) && member;
}

bool OwnedByUser(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool ours = owner != nullptr && IsTheUser(owner);
    LocalFree(descriptor);
    return ours;
}

// The entry itself, a link not followed.
HANDLE OpenEntry(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

Entry EntryAt(const std::string& path) {
    Entry entry;
    const HANDLE file = OpenEntry(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        return entry;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info)) {
        entry.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Entry::Link
                     : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? Entry::Other
                                                                            : Entry::Regular;
        entry.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        entry.ours = OwnedByUser(file);
    }
    CloseHandle(file);
    return entry;
}

// Rights that let an account put files into a folder or take them away.
constexpr ACCESS_MASK FolderWriteRights =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | FILE_WRITE_DATA | FILE_APPEND_DATA |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

} // namespace

Folder::Folder(std::string path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

Folder::~Folder() = default;

std::unique_ptr<Folder> Folder::Open(const std::string& path) {
    auto handle = std::make_unique<Handle>();
    handle->dir = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle->dir == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    std::string folder = path;
    if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) {
        folder += '\\';
    }
    return std::unique_ptr<Folder>(new Folder(std::move(folder), std::move(handle)));
}

bool Folder::IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("\\/:\0", 4)) == std::string_view::npos;
}

std::vector<std::string> Folder::Names(std::string_view prefix) const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path_ + std::string(prefix) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if (IsPlainName(found.cFileName)) {
            names.emplace_back(found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

Entry Folder::Look(const std::string& name) const {
    return IsPlainName(name) ? EntryAt(path_ + name) : Entry{};
}

bool Folder::IsHeld(const std::string& name) const {
    return IsPlainName(name) && IsHeldTemporary(path_ + name);
}

std::optional<std::string> Folder::ReadOwn(const std::string& name, size_t maxBytes) const {
    if (!IsPlainName(name)) {
        return std::nullopt;
    }
    const HANDLE file = OpenEntry(path_ + name, GENERIC_READ | READ_CONTROL);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> bytes;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        info.nFileSizeHigh == 0 && info.nFileSizeLow <= maxBytes && OwnedByUser(file)) {
        std::string content(maxBytes + 1, '\0');
        DWORD read = 0;
        if (ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr) &&
            read <= maxBytes) {
            content.resize(read);
            bytes = std::move(content);
        }
    }
    CloseHandle(file);
    return bytes;
}

bool Folder::Rename(const std::string& from, const std::string& to) const {
    return IsPlainName(from) && IsPlainName(to) &&
           MoveFileExA((path_ + from).c_str(), (path_ + to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Folder::Remove(const std::string& name) const {
    return IsPlainName(name) && DeleteFileA((path_ + name).c_str()) != 0;
}

bool Folder::Sync() const {
    // Renames are written through (MOVEFILE_WRITE_THROUGH).
    return true;
}

std::optional<std::string> FollowOwnLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        const Entry entry = EntryAt(current);
        if (entry.kind != Entry::Link) {
            return current;
        }
        if (!entry.ours) {
            return std::nullopt;
        }
        // One step along the link: where the system resolves it, from a handle of the link's
        // own target.
        const HANDLE target =
            CreateFileA(current.c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (target == INVALID_HANDLE_VALUE) {
            return current; // leads nowhere: written as the link itself says
        }
        char resolved[MAX_PATH * 4];
        const DWORD n = GetFinalPathNameByHandleA(target, resolved, sizeof resolved,
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(target);
        if (n == 0 || n >= sizeof resolved) {
            return std::nullopt;
        }
        std::string next(resolved, n);
        if (next.rfind("\\\\?\\", 0) == 0) {
            next.erase(0, 4);
        }
        current = next;
    }
    return std::nullopt;
}

bool IsPrivateFolder(const std::string& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    // No access list lets everybody in.
    bool alone = dacl != nullptr;
    for (DWORD i = 0; alone && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            alone = false;
            break;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID sid = const_cast<DWORD*>(&ace->SidStart);
        if ((ace->Mask & FolderWriteRights) != 0 && !IsTheUser(sid) &&
            !IsWellKnown(sid, WinLocalSystemSid) &&
            !IsWellKnown(sid, WinBuiltinAdministratorsSid) &&
            !IsWellKnown(sid, WinCreatorOwnerSid)) {
            alone = false;
        }
    }
    LocalFree(descriptor);
    return alone;
}

bool IsPrivateFile(const std::string&) {
    return true;
}

} // namespace platform
