#include "platform/ProfileFile.h"

#include "platform/Files.h"
#include "platform/ProfileText.h"

namespace platform {

struct ProfileFile::Text {
    ProfileText text;
    // A file that is there but cannot be read is never replaced: its keys would be lost.
    bool unreadable = false;
    bool pending = false;
};

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)), text_(new Text) {
    FileBytes read = ReadBytes(path_);
    if (read.bytes) {
        text_->text = ProfileText(*read.bytes);
    } else {
        text_->unreadable = !read.missing;
    }
}

ProfileFile::~ProfileFile() = default;

bool ProfileFile::WritesThrough() {
    return false;
}

std::string ProfileFile::Value(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    return text_->text.Value(section, key).value_or(ProfileDefault(defaultValue));
}

bool ProfileFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    if (text_->unreadable) {
        return false;
    }
    text_->text.SetValue(section, key, value);
    text_->pending = text_->text.Changed();
    return true;
}

std::optional<std::string> ProfileFile::TakePendingBytes() {
    if (!text_->pending) {
        return std::nullopt;
    }
    text_->pending = false;
    return text_->text.Bytes();
}

bool ProfileFile::Flush() {
    const auto bytes = TakePendingBytes();
    if (!bytes) {
        return RestrictToOwner(path_);
    }
    if (!WriteFileAtomically(path_, *bytes, NewFileMode::OwnerOnly, ExistingFileMode::Tighten)) {
        text_->pending = true;
        return false;
    }
    return true;
}

} // namespace platform
