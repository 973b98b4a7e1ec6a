#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class ProfileFile;
}

namespace core {

// One key of the settings file.
struct SettingKey {
    enum Kind {
        Text,     // the control's text, as typed
        Flag,     // the control's check state, written "1" or "0"
        Constant, // not read; always written as its default
    };
    const char* section;
    const char* key;
    Kind kind;
    // A text's default, "1" or "0" for a flag, the value of a constant.
    const char* defaultValue;
};

// Every key, in the order the close writes them; loading reads them in the same order and
// leaves out the constants.
inline constexpr std::array<SettingKey, 10> SettingsSchema{{
    {"quality", "setting", SettingKey::Text, "3"},
    {"quality", "auto", SettingKey::Constant, "1"},
    {"repeater", "lan", SettingKey::Flag, "1"},
    {"repeater", "address", SettingKey::Flag, "0"},
    {"password", "value", SettingKey::Text, ""},
    {"repeater", "address2", SettingKey::Text, ""},
    {"port", "viewer", SettingKey::Text, ""},
    {"password", "store", SettingKey::Flag, "0"},
    {"autoscaling", "setting", SettingKey::Flag, "1"},
    {"autoreconnect", "setting", SettingKey::Flag, "0"},
}};

// The settings file as the window reads it at start-up: parsed once, each key as its control
// takes it.
class SettingsReader {
public:
    explicit SettingsReader(const std::string& path);
    ~SettingsReader();

    std::string Text(const SettingKey& key) const;
    // Any integer other than 0 is true; anything that is not an integer gives the default.
    bool Flag(const SettingKey& key) const;
    // Every key's value as the close would write it back unchanged, in the schema's order.
    std::vector<std::string> Values() const;

private:
    std::unique_ptr<platform::ProfileFile> file_;
};

// The values the close writes, in the schema's order, as text ("1" or "0" for a flag).
class SettingsValues {
public:
    SettingsValues() = default;
    // Values in the schema's order.
    explicit SettingsValues(const std::vector<std::string>& values);
    void SetText(const SettingKey& key, std::string value);
    void SetFlag(const SettingKey& key, bool value);
    const std::string& Value(size_t index) const { return values_[index]; }
    // The values in the schema's order, the constants as they are written.
    std::vector<std::string> List() const;

private:
    std::array<std::string, SettingsSchema.size()> values_;
};

// Writes the values into the file's keys in the schema's order; the error "Unable to write to
// <path>" when a key cannot be written.
void WriteSettings(platform::ProfileFile& file, const SettingsValues& values);

} // namespace core
