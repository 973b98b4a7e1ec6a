#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A settings file in the sections-and-keys text format, held as its lines so that a write
// changes only the line it owns and every other line goes back out as it came in.
class ProfileText {
public:
    static constexpr size_t MaxValueLength = 2047;

    explicit ProfileText(std::string_view bytes = {});

    // The value of a key, blanks around it and one pair of enclosing quotes dropped, at most
    // MaxValueLength characters; nothing when the section or the key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Replaces the key's value where it stands, or appends the key at the end of its section,
    // or the section at the end of the text.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    // The text with CR LF after every line.
    std::string Bytes() const;

private:
    struct Entry {
        enum Kind { Other, Section, Key } kind = Other;
        std::string_view name;
        std::optional<std::string_view> value; // keys only; a line without '=' has none
    };

    Entry Classify(size_t index) const;
    // Index of the first line of the first matching section's body, or npos.
    size_t FindSectionBody(std::string_view section) const;

    std::vector<std::string> lines_;
};

} // namespace platform
