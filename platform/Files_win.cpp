#include "Files.h"

#include <windows.h>

namespace platform {
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

std::optional<std::string> ReadWholeFile(const std::string& path) {
    // Others may read it at the same time; nobody may write it meanwhile.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
            CloseHandle(file);
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        content.append(chunk, read);
    }
    CloseHandle(file);
    return content;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode,
                         ExistingFileMode) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        // Refused as creating or truncating it would be.
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::string temp = path + ".new";
    const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const char* p = content.data();
    size_t left = content.size();
    bool ok = true;
    while (ok && left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
        ok = WriteFile(file, p, chunk, &written, nullptr) && written == chunk;
        p += written;
        left -= written;
    }
    ok = ok && FlushFileBuffers(file);
    CloseHandle(file);
    // A rename that replaces the target in one step: the target is the old file or the new.
    ok = ok && MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        const DWORD error = GetLastError();
        DeleteFileA(temp.c_str());
        SetLastError(error);
    }
    return ok;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

} // namespace platform
