#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A settings file in the sections-and-keys text format, held as its lines so that a write
// changes only the line it owns and every other line goes back out as it came in, with its own
// line ending.
class ProfileText {
public:
    static constexpr size_t MaxValueLength = 2047;

    explicit ProfileText(std::string_view bytes = {});

    // The value of a key, blanks around it and one pair of enclosing quotes dropped, at most
    // MaxValueLength characters; nothing when the section or the key is missing. Blanks around
    // the names asked for do not count.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Replaces the key's value where it stands, or appends the key at the end of its section,
    // or the section at the end of the text. A line written or added ends as the file's lines
    // do (CR LF in a new file).
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Whether a write changed the text.
    bool Changed() const { return changed_; }

    std::string Bytes() const;

private:
    struct Line {
        std::string text;
        std::string_view ending; // "\r\n", "\n", "\r", or none on a last line without a break
    };
    struct Entry {
        enum Kind { Other, Section, Key } kind = Other;
        std::string_view name;
        std::optional<std::string_view> value; // keys only; a line without '=' has none
    };

    Entry Classify(size_t index) const;
    // Index of the first line of the first matching section's body, or npos.
    size_t FindSectionBody(std::string_view section) const;
    void Insert(size_t at, std::string text);

    std::vector<Line> lines_;
    std::string_view ending_ = "\r\n";
    bool changed_ = false;
};

// The value a missing key gives: the default without its trailing blanks, at most
// MaxValueLength characters.
std::string ProfileDefault(std::string_view defaultValue);

} // namespace platform
