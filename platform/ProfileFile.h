#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A settings file through the platform's settings-file functions (GetPrivateProfileString and
// WritePrivateProfileString on Windows, a reader and writer of our own elsewhere): section and
// key names compared without regard to case and to blanks around them; a missing file, section
// or key gives the default without its trailing blanks.
//
// Our own reader parses the file once, when the object is made; writes change that text in
// memory, and the file is written once: by Flush, or by whoever takes the pending bytes.
class ProfileFile {
public:
    explicit ProfileFile(std::string path);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::string& Path() const { return path_; }

    // Whether each write goes to the file at once (the system's functions), so there are
    // never pending bytes to take.
    static bool WritesThrough();

    std::string Value(std::string_view section, std::string_view key,
                      std::string_view defaultValue) const;

    // Sets one key; false when the file could not be written (a file that is there but could
    // not be read cannot be written either).
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole new text when a write changed it and it is still to be written, handed over
    // to be written with other files in one commit; nothing where the system writes its own
    // file, or when no value changed.
    std::optional<std::string> TakePendingBytes();

    // Makes every change durable. A new file is readable by its owner only, as it may hold a
    // password; an existing one loses any permission for others.
    bool Flush();

private:
    struct Text;
    std::string path_;
    std::unique_ptr<Text> text_;
};

} // namespace platform
