#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The platform's path separator.
char PathSeparator();

// Full path of the running executable (or the one a test set).
std::string ExecutablePath();

// The system's full path of the running executable.
std::string ModuleFileName();

// Folder of the running executable, ending in the path separator.
std::string ProgramFolder();

// Lets tests run the program against a folder of their own; production never calls it.
void SetExecutablePathForTesting(std::string path);

// Whole content of a file, or nothing when it cannot be opened or read (errno tells why).
std::optional<std::string> ReadWholeFile(const std::string& path);

enum class NewFileMode {
    Shared,    // a new file gets the usual permissions (0666 less the umask)
    OwnerOnly, // a new file is readable and writable by its owner only
};

enum class ExistingFileMode {
    Keep,    // a file that exists keeps its permissions
    Replace, // the file is made anew with the permissions of a new one
};

// Writes the content to a temporary file beside the target, flushes it to disk and renames it
// over the target, so the target is either the old file or the whole new one. A target that
// exists but may not be written is refused, as a plain create-and-truncate would refuse it.
// Returns false on failure with errno set; the target is then untouched.
bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode newMode,
                         ExistingFileMode existingMode = ExistingFileMode::Keep);

// Deletes a file; false when it was not there or could not be deleted.
bool RemoveFile(const std::string& path);

} // namespace platform
