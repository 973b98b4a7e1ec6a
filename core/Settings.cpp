#include "core/Settings.h"

#include "core/Commit.h"
#include "core/Flags.h"
#include "platform/ProfileFile.h"

namespace core {
namespace {

size_t IndexOf(const SettingKey& key) {
    return static_cast<size_t>(&key - SettingsSchema.data());
}

} // namespace

SettingsReader::SettingsReader(const std::string& path)
    : file_(std::make_unique<platform::ProfileFile>(path)) {}

SettingsReader::~SettingsReader() = default;

std::string SettingsReader::Text(const SettingKey& key) const {
    return file_->Value(key.section, key.key, key.defaultValue);
}

bool SettingsReader::Flag(const SettingKey& key) const {
    return ReadFlag(file_->Value(key.section, key.key, ""), key.defaultValue[0] == '1');
}

std::vector<std::string> SettingsReader::Values() const {
    std::vector<std::string> values;
    for (const SettingKey& key : SettingsSchema) {
        switch (key.kind) {
        case SettingKey::Text:
            values.push_back(Text(key));
            break;
        case SettingKey::Flag:
            values.emplace_back(FlagText(Flag(key)));
            break;
        case SettingKey::Constant:
            values.emplace_back(key.defaultValue);
            break;
        }
    }
    return values;
}

SettingsValues::SettingsValues(const std::vector<std::string>& values) {
    for (size_t i = 0; i < values_.size() && i < values.size(); ++i) {
        values_[i] = values[i];
    }
}

std::vector<std::string> SettingsValues::List() const {
    std::vector<std::string> values(values_.begin(), values_.end());
    for (size_t i = 0; i < SettingsSchema.size(); ++i) {
        if (SettingsSchema[i].kind == SettingKey::Constant) {
            values[i] = SettingsSchema[i].defaultValue;
        }
    }
    return values;
}

void SettingsValues::SetText(const SettingKey& key, std::string value) {
    values_[IndexOf(key)] = std::move(value);
}

void SettingsValues::SetFlag(const SettingKey& key, bool value) {
    values_[IndexOf(key)] = std::string(FlagText(value));
}

void WriteSettings(platform::ProfileFile& file, const SettingsValues& values) {
    for (size_t i = 0; i < SettingsSchema.size(); ++i) {
        const SettingKey& key = SettingsSchema[i];
        const std::string& value =
            key.kind == SettingKey::Constant ? std::string(key.defaultValue) : values.Value(i);
        if (!file.SetValue(key.section, key.key, value)) {
            throw ESaveError("Unable to write to " + file.Path(), file.Path());
        }
    }
}

} // namespace core
