#include "platform/Files.h"

#include <windows.h>

#include <atomic>
#include <cctype>

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

// The process number is part of the name: a start-up leaves the files of running copies alone.
class WinTempFile final : public TempFile {
public:
    WinTempFile(std::string path, HANDLE file) : file_(file) { path_ = std::move(path); }
    ~WinTempFile() override {
        Close();
        if (!moved_) {
            DeleteFileA(path_.c_str());
        }
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

FileBytes ReadBytes(const std::string& path) {
    FileBytes result;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.reason = "it is a folder";
        return result;
    }
    // Others may read it at the same time; nobody may write it meanwhile.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
    std::string content;
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
        content.append(chunk, read);
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

bool IsHeldByRunningProgram(const std::string& path) {
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
        return true;
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

std::string WriteTarget(const std::string& path) {
    return path;
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
    if (!MayWrite(path)) {
        return false;
    }
    const auto temp = TempFile::Create(FolderOf(path));
    return temp && temp->Write(content) && temp->Finish(newMode, existingMode, path) &&
           temp->MoveTo(path);
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

} // namespace platform
