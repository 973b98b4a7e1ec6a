#include "platform/Files.h"

#include "platform/Folder.h"
#include "platform/HeldFiles_win.h"

#include <windows.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <set>

namespace platform {
namespace {

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 ? std::string(text, n) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

bool WriteAll(HANDLE file, std::string_view content) {
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
        if (!WriteFile(file, p, chunk, &written, nullptr) || written != chunk) {
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

// This process's temporaries that are still its own.
std::mutex heldMutex;
std::set<std::string> heldPaths;

void Hold(const std::string& path, bool held) {
    const std::lock_guard<std::mutex> lock(heldMutex);
    if (held) {
        heldPaths.insert(path);
    } else {
        heldPaths.erase(path);
    }
}

// The process number is part of the name: a start-up leaves the files of running copies alone.
class WinTempFile final : public TempFile {
public:
    WinTempFile(std::string path, HANDLE file) : file_(file) {
        path_ = std::move(path);
        Hold(path_, true);
    }
    ~WinTempFile() override {
        Close();
        if (!moved_) {
            DeleteFileA(path_.c_str());
        }
        Hold(path_, false);
    }

    bool Write(std::string_view bytes) override { return WriteAll(file_, bytes); }

    // New files get the folder's permissions; there is no mode to set.
    bool Finish(NewFileMode, ExistingFileMode, const std::string&) override {
        const bool ok = FlushFileBuffers(file_) != 0;
        // The rename needs the file closed.
        Close();
        return ok;
    }

    bool MoveTo(const std::string& target) override {
        Close();
        if (!MoveOver(path_, target)) {
            return false;
        }
        moved_ = true;
        return true;
    }

    void Keep() override {
        Close();
        moved_ = true;
        Hold(path_, false);
    }

private:
    void Close() {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
        }
    }

    HANDLE file_;
    bool moved_ = false;
};

} // namespace

char PathSeparator() {
    return '\\';
}

std::string ModuleFileName() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

FileStamp StampOfHandle(HANDLE file) {
    FileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return stamp;
    }
    stamp.exists = true;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified =
        static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                             info.ftLastWriteTime.dwLowDateTime);
    stamp.changed =
        static_cast<int64_t>((static_cast<uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                             info.ftCreationTime.dwLowDateTime);
    stamp.ours =
        info.nNumberOfLinks == 1 &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    return stamp;
}

} // namespace

FileStamp StampOf(const std::string& path) {
    const std::optional<std::string> real = FollowOwnLinks(path);
    if (!real) {
        return {};
    }
    const HANDLE file = CreateFileA(real->c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    const FileStamp stamp = StampOfHandle(file);
    CloseHandle(file);
    return stamp;
}

FileBytes ReadBytes(const std::string& path, size_t most) {
    FileBytes result;
    const std::optional<std::string> real = FollowOwnLinks(path);
    if (!real) {
        result.reason = "it is a link that another user made";
        return result;
    }
    const DWORD attributes = GetFileAttributesA(real->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.reason = "it is a folder";
        return result;
    }
    // Others may read it at the same time; nobody may write it meanwhile.
    const HANDLE file = CreateFileA(real->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        result.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        result.reason = SystemMessage(error);
        return result;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        result.reason = "it is not a regular file";
        return result;
    }
    result.stamp = StampOfHandle(file);
    std::string content;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) > most) {
        // The last bytes only.
        LARGE_INTEGER from{};
        from.QuadPart = size.QuadPart - static_cast<LONGLONG>(most);
        SetFilePointerEx(file, from, nullptr, FILE_BEGIN);
        result.cut = true;
    }
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
            result.reason = SystemMessage(GetLastError());
            CloseHandle(file);
            return result;
        }
        if (read == 0) {
            break;
        }
        content.append(chunk, std::min<size_t>(read, most - std::min(most, content.size())));
        if (content.size() >= most) {
            break;
        }
    }
    CloseHandle(file);
    result.bytes = std::move(content);
    return result;
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& folder, std::string_view prefix) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        const std::string path = folder + std::string(prefix) +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++);
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return std::make_unique<WinTempFile>(path, file);
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return nullptr;
        }
    }
}

bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool IsHeldTemporary(const std::string& path) {
    const size_t nameStart = path.find_last_of("\\/") + 1;
    size_t digits = nameStart;
    while (digits < path.size() && !std::isdigit(static_cast<unsigned char>(path[digits]))) {
        ++digits;
    }
    const DWORD pid = static_cast<DWORD>(std::strtoul(path.c_str() + digits, nullptr, 10));
    if (pid == 0) {
        return false;
    }
    if (pid == GetCurrentProcessId()) {
        const std::lock_guard<std::mutex> lock(heldMutex);
        return heldPaths.count(path) > 0;
    }
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool SyncFolder(const std::string&) {
    // Renames are written through (MOVEFILE_WRITE_THROUGH).
    return true;
}

std::vector<std::string> FolderEntries(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + std::string(prefix) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".\\") : path.substr(0, separator + 1);
}

std::optional<std::string> WriteTarget(const std::string& path) {
    return FollowOwnLinks(path);
}

bool MayWrite(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        // Refused as creating or truncating it would be.
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode newMode,
                         ExistingFileMode existingMode) {
    const std::optional<std::string> target = WriteTarget(path);
    if (!target) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!MayWrite(*target)) {
        return false;
    }
    const auto temp = TempFile::Create(FolderOf(*target));
    return temp && temp->Write(content) && temp->Finish(newMode, existingMode, *target) &&
           temp->MoveTo(*target);
}

bool CreateFreshFile(const std::string& path, std::string_view content) {
    // Whatever stands there goes first; a link is removed, not followed.
    if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = WriteAll(file, content);
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(path.c_str());
    }
    return ok;
}

bool MayCreateFilesIn(const std::string& folder) {
    // Only a try tells: the folder's access list decides, not its attributes.
    return TempFile::Create(folder) != nullptr;
}

bool CreateOwnerOnlyFolder(const std::string& path) {
    // A folder under the user's profile inherits the profile's access list: the user's own.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const std::string trimmed = path.substr(0, path.find_last_not_of("\\/") + 1);
    const size_t parent = trimmed.find_last_of("\\/");
    if (parent != std::string::npos && parent > 2 &&
        !CreateOwnerOnlyFolder(trimmed.substr(0, parent))) {
        return false;
    }
    return CreateDirectoryA(trimmed.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RestrictToOwner(const std::string&) {
    // New files take the folder's access list; the owner-only rule is the POSIX one.
    return true;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

namespace {

class WinLock final : public HeldLock {
public:
    explicit WinLock(HANDLE file) : file_(file) {}
    ~WinLock() override { CloseHandle(file_); }

private:
    HANDLE file_;
};

} // namespace

AppendOutcome AppendToOwnFile(const std::string& path, std::string_view bytes) {
    // A link or junction is opened as itself, and then refused; others may read meanwhile.
    const HANDLE file =
        CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE | READ_CONTROL,
                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return AppendOutcome::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1) {
        CloseHandle(file);
        return AppendOutcome::NotOurs;
    }
    std::string whole;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xffffffff);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        char last = '\n';
        DWORD read = 0;
        if (ReadFile(file, &last, 1, &read, &at) && read == 1 && last != '\n') {
            whole = "\r\n";
        }
    }
    whole.append(bytes);
    const bool written = WriteAll(file, whole) && FlushFileBuffers(file);
    CloseHandle(file);
    return written ? AppendOutcome::Appended : AppendOutcome::Failed;
}

std::unique_ptr<HeldLock> TakeLock(const std::string& path, LockOutcome& outcome) {
    outcome = LockOutcome::NotALock;
    // Opened for this copy alone: another copy's open fails while this one holds it. The file
    // goes when the lock does.
    const HANDLE file = CreateFileA(
        path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SHARING_VIOLATION) {
            outcome = LockOutcome::HeldByAnother;
        }
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(file);
        return nullptr;
    }
    outcome = LockOutcome::Taken;
    return std::make_unique<WinLock>(file);
}

} // namespace platform
