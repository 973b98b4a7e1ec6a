#pragma once

#include "base/Exception.h"
#include "platform/Files.h"

#include <functional>
#include <string>
#include <vector>

namespace core {

// A save that failed, with the file it could not write.
class ESaveError : public Exception {
public:
    ESaveError(std::string message, std::string file)
        : Exception(std::move(message)), file_(std::move(file)) {}
    const std::string& File() const noexcept { return file_; }

private:
    std::string file_;
};

// One file of a commit: its new bytes, its mode, and the error shown when it cannot be written.
struct FileWrite {
    std::string path;
    std::string bytes;
    platform::NewFileMode newMode = platform::NewFileMode::Shared;
    platform::ExistingFileMode existingMode = platform::ExistingFileMode::Keep;
    std::string error;
};

// Record files of commits start with this, in the folder of the commit.
inline constexpr std::string_view CommitPrefix = ".mbv-commit-";

// Replaces the files together: a kill at any moment leaves them all old or all new, once the
// next start-up has run RecoverCommits. Each new file is written and flushed to a temporary
// file beside its target; then a record naming every temporary and its target, with a checksum
// at its end, is written and flushed into the folder (the commit point); then each temporary is
// renamed over its target, the folders are flushed and the record removed. Throws ESaveError for
// the first file that cannot be written; nothing is replaced then.
void CommitFiles(const std::string& folder, const std::vector<FileWrite>& files);

// At start-up, before anything is read: rolls an intact record forward, discards a torn one,
// and removes temporary files and records that no running copy of the program holds.
void RecoverCommits(const std::string& folder);

// The steps of a commit, for a test that kills the process at each of them.
enum class CommitStep { TempWritten, RecordWritten, FileReplaced, FoldersSynced, RecordRemoved };
void SetCommitStepHookForTesting(std::function<void(CommitStep)> hook);

} // namespace core
