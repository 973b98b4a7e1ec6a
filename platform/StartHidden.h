#pragma once

#include <string>

namespace platform {

enum class ViewerProblem {
    None,
    Missing,    // no such file
    NeedsWine,  // a Windows program, and no wine on the PATH to start it
    NotPrivate, // another account may change it or the folders it stands in
};

// What keeps the viewer at this path from being started, if anything.
ViewerProblem ViewerStartProblem(const std::string& viewerPath);

// Starts the batch file with no window and does not wait for it. Whether the start worked is
// not reported: the caller goes on either way. written: the bytes the file was made with; where
// the batch file is not run by the system itself, these are run, never the file read again.
void StartBatchFileHidden(const std::string& batchPath, const std::string& written);

} // namespace platform
