#pragma once

#include <string>

namespace platform {

// Starts the batch file with no window and does not wait for it. Whether the start worked is
// not reported: the caller goes on either way.
void StartBatchFileHidden(const std::string& batchPath);

} // namespace platform
