#pragma once

#include <string>

namespace platform {

enum class ViewerProblem {
    None,
    Missing,   // no such file
    NeedsWine, // a Windows program, and no wine on the PATH to start it
};

// What keeps the viewer at this path from being started, if anything.
ViewerProblem ViewerStartProblem(const std::string& viewerPath);

// Starts the batch file with no window and does not wait for it. Whether the start worked is
// not reported: the caller goes on either way.
void StartBatchFileHidden(const std::string& batchPath);

} // namespace platform
