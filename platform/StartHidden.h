#pragma once

#include "platform/ViewerProcess.h"

#include <cstdint>
#include <memory>
#include <optional>
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

// A program started and left to run, watched for its end without anybody waiting for it.
class StartedProgram {
public:
    virtual ~StartedProgram() = default;
    // What tells of the end: a descriptor readable once the program has ended (POSIX) or the
    // process's handle (Windows); -1 where there is none to watch, and Ended is asked now and
    // then instead.
    virtual intptr_t EndHandle() const = 0;
    // How it ended, once it has; nothing while it runs.
    virtual std::optional<ProcessEnd> Ended() = 0;
};

// Starts the batch file with no window and does not wait for it. Whether the start worked is
// not reported: the caller goes on either way; the program started is handed back to be
// watched (nothing when it did not start). written: the bytes the file was made with; where
// the batch file is not run by the system itself, these are run, never the file read again.
std::unique_ptr<StartedProgram> StartBatchFileHidden(const std::string& batchPath,
                                                     const std::string& written);

} // namespace platform
