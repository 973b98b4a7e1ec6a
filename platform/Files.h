#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Tells one state of a file from another without reading it: a file replaced or written since
// has another stamp.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified = 0; // nanoseconds
    int64_t changed = 0;  // nanoseconds; the status change where the system keeps one
    // This account's plain file with one name and no set-ID bit, as the program's own appends
    // are made to (on Windows, where the folder's rights decide: one name).
    bool ours = false;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file a read of the path would read (through the user's own links).
FileStamp StampOf(const std::string& path);

// What reading a whole file gave.
struct FileBytes {
    std::optional<std::string> bytes;
    // No such file: for the program's own files, a first run.
    bool missing = false;
    // Why a file that is there could not be read ("Permission denied", "it is a folder"...).
    std::string reason;
    // The state of the file whose bytes these are.
    FileStamp stamp;
    // Only its last bytes were read: it was longer than asked for.
    bool cut = false;
};

// Reads a regular file whole. Anything else (a folder, a FIFO, a device) is refused without
// being opened for reading, so nothing ever blocks on it; so is a link that belongs to another
// user, which is not followed.
// most: a file longer than that is read from that many bytes before its end.
FileBytes ReadBytes(const std::string& path, size_t most = std::string::npos);

// The bytes alone, or nothing when the file cannot be read.
inline std::optional<std::string> ReadWholeFile(const std::string& path) {
    return ReadBytes(path).bytes;
}

enum class NewFileMode {
    Shared,    // a new file gets the usual permissions (0666 less the umask)
    OwnerOnly, // a new file is readable and writable by its owner only
};

enum class ExistingFileMode {
    Keep,    // a file that exists keeps its permissions
    Replace, // the file is made anew with the permissions of a new one
    Tighten, // a file that exists keeps its owner's permissions and loses all others'
};

// Temporary files of the program start with this, in the folder of the file they replace; a
// start-up removes those that no running copy of the program holds.
inline constexpr std::string_view TempPrefix = ".mbv-tmp-";

// A temporary file, readable by its owner only from its first byte, held by this process (no
// other copy of the program takes it for stale) until it is dropped. Dropping it removes the
// file unless it was moved into place.
class TempFile {
public:
    // A new temporary file in the folder (which ends in its separator); nothing when it cannot
    // be made (errno or the last error tells why).
    static std::unique_ptr<TempFile> Create(const std::string& folder,
                                            std::string_view prefix = TempPrefix);
    virtual ~TempFile() = default;

    const std::string& Path() const { return path_; }
    virtual bool Write(std::string_view bytes) = 0;
    // Gives the file the mode its target will have and flushes it to the disk.
    virtual bool Finish(NewFileMode newMode, ExistingFileMode existingMode,
                        const std::string& target) = 0;
    // Renames it over the target in one step; the target is then the old file or the new.
    virtual bool MoveTo(const std::string& target) = 0;
    // Lets go of it and leaves it where it stands, for a later start-up to find.
    virtual void Keep() = 0;

protected:
    std::string path_;
};

// Renames a file over another in one step (the target is then the old file or the new one).
bool MoveOver(const std::string& from, const std::string& to);

// Makes the renames and removals in a folder durable (a no-op where the system does it).
bool SyncFolder(const std::string& folder);

// Names (not paths) of the entries of a folder that start with the prefix.
std::vector<std::string> FolderEntries(const std::string& folder, std::string_view prefix);

// The folder part of a path, ending in its separator.
std::string FolderOf(const std::string& path);

// Where a write to the path lands: a link's target (writing through a link changes the file it
// points to, not the link), otherwise the path itself. Nothing when a link on the way belongs to
// another user: it is not written through.
std::optional<std::string> WriteTarget(const std::string& path);

// Whether a file that exists may be written; a missing file may be. A folder may not.
bool MayWrite(const std::string& path);

// Writes the content to a temporary file beside the target, flushes it to disk and renames it
// over the target, so the target is either the old file or the whole new one. A target that
// exists but may not be written is refused, as a plain create-and-truncate would refuse it.
// Returns false on failure with errno set; the target is then untouched.
bool WriteFileAtomically(const std::string& path, std::string_view content, NewFileMode newMode,
                         ExistingFileMode existingMode = ExistingFileMode::Keep);

// Makes a new file, readable by its owner only, in place of whatever the path held: never
// written through a link, never into a folder, FIFO or device. False (errno set) on failure.
bool CreateFreshFile(const std::string& path, std::string_view content);

// Whether this process may make files in the folder.
bool MayCreateFilesIn(const std::string& folder);

// Makes a folder and the folders above it that are missing, the new ones for the owner alone;
// true when it stands (a folder already there is left as it is).
bool CreateOwnerOnlyFolder(const std::string& path);

// Takes group and other permissions off an existing file; true when there was nothing to do.
bool RestrictToOwner(const std::string& path);

// Adds the bytes (whole lines) at the end of a file in one write and flushes them to the disk;
// the file is made (the usual permissions) when missing. A file whose last line was cut (a kill
// while it was written) gets a line end first, so the new lines stand on their own. Only a
// regular file of this user's with no other name and no set-ID bit is written: never through a
// link, never a FIFO or a device.
enum class AppendOutcome {
    Appended,
    NotOurs, // something stands there that is not this user's plain file: left as it is
    Failed,  // errno (or the last error) says why
};
AppendOutcome AppendToOwnFile(const std::string& path, std::string_view bytes);

// Deletes a file; false when it was not there or could not be deleted.
bool RemoveFile(const std::string& path);

// The mark a copy of the program holds on its book while it has it open, so that another copy
// knows. Anybody may have put something else under the name: it is opened without following a
// link and without waiting, and anything but a regular file is never used as a lock.
enum class LockOutcome {
    Taken,         // this copy holds it now
    HeldByAnother, // a running copy holds it
    NotALock,      // a link, a FIFO, a device or a folder stands there, or it cannot be opened
};
class HeldLock {
public:
    virtual ~HeldLock() = default;
};
// Held until dropped; nothing unless taken.
std::unique_ptr<HeldLock> TakeLock(const std::string& path, LockOutcome& outcome);

} // namespace platform
