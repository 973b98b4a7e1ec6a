#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What stands under a name in a folder, seen without following a link.
struct Entry {
    enum Kind { Missing, Regular, Link, Other };
    Kind kind = Missing;
    // Owned by the user running the program.
    bool ours = false;
    uint64_t size = 0;
};

// A folder held open while the program works in it: every call takes a plain name in it (no
// separator, no "." or "..") and acts on what the name holds now, never through a link in the
// name itself. Anything may have been put there by someone else, so the caller looks first.
class Folder {
public:
    // Nothing when the folder cannot be opened.
    static std::unique_ptr<Folder> Open(const std::string& path);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder's path, ending in its separator.
    const std::string& Path() const { return path_; }

    // A name that stays inside the folder.
    static bool IsPlainName(std::string_view name);

    // Names of the entries that start with the prefix.
    std::vector<std::string> Names(std::string_view prefix) const;
    Entry Look(const std::string& name) const;
    // Whether a running copy of the program holds the file.
    bool IsHeld(const std::string& name) const;
    // The bytes of a regular file of ours of at most maxBytes; nothing for anything else.
    std::optional<std::string> ReadOwn(const std::string& name, size_t maxBytes) const;
    // Renames within the folder, the target replaced in one step.
    bool Rename(const std::string& from, const std::string& to) const;
    bool Remove(const std::string& name) const;
    // Makes renames and removals durable.
    bool Sync() const;

private:
    struct Handle;
    Folder(std::string path, std::unique_ptr<Handle> handle);
    std::string path_;
    std::unique_ptr<Handle> handle_;
};

// Where a read or a write of the path lands: the path itself, or, when it is a link, the file
// it leads to, followed only through links that belong to the user running the program.
// Nothing when a link on the way belongs to someone else or leads too far.
std::optional<std::string> FollowOwnLinks(const std::string& path);

// Whether nobody but the user running the program (and the system's own accounts) may make or
// replace files in the folder.
bool IsPrivateFolder(const std::string& folder);

// Whether the file, when there is one, is the user's (or the system's) and nobody else may
// change it; a link is not followed. Where files take their folder's permissions, true.
bool IsPrivateFile(const std::string& path);

} // namespace platform
