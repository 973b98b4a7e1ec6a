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
    ESaveError(std::string message, std::string file, bool finishedLater = false)
        : Exception(std::move(message)), file_(std::move(file)), finishedLater_(finishedLater) {}
    const std::string& File() const noexcept { return file_; }
    // The save had passed its commit point: the next start-up (or close) writes it whole, so
    // the changes are not lost by closing now.
    bool FinishedLater() const noexcept { return finishedLater_; }

private:
    std::string file_;
    bool finishedLater_;
};

// One file of a commit: its new bytes, its mode, and the error shown when it cannot be written.
// The file is one of the book's own, named by its path in the commit's folder.
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
// file beside its target (beside the file a link of the user's leads to); then a record naming
// each file and its temporary by their names, with a checksum at its end, is written and
// flushed into the folder (the commit point); then each temporary is renamed over its target,
// the folders are flushed and the record removed. Throws ESaveError for the first file that
// cannot be written; nothing is replaced then. A rename that fails after the commit point keeps
// the record, so RecoverCommits finishes the commit later and the files never stay out of step.
void CommitFiles(const std::string& folder, const std::vector<FileWrite>& files);

// At start-up, before anything is read: rolls an intact record forward, discards a torn one,
// and removes temporary files that no running copy of the program holds. Only what this user
// wrote is acted on: a record is a regular file of the user's, naming only the book's own
// files (ownNames, in the folder, or where the user's link among them leads) and temporaries
// of the user's beside them. Anything else is left alone; the notices name it.
std::vector<std::string> RecoverCommits(const std::string& folder,
                                        const std::vector<std::string>& ownNames);

// Whether a running copy of the program is in the middle of a commit in the folder.
bool CommitInProgress(const std::string& folder);

// The notice for a file of the folder that recovery did not act on.
std::string LeftAloneRecordNotice(const std::vector<std::string>& paths);

// The steps of a commit, for a test that kills the process at each of them.
enum class CommitStep { TempWritten, RecordWritten, FileReplaced, FoldersSynced, RecordRemoved };
void SetCommitStepHookForTesting(std::function<void(CommitStep)> hook);

} // namespace core
