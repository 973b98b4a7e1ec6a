#pragma once

#include <string>
#include <vector>

namespace platform {

// The folders of the PATH in their order, as written there: an empty entry stays empty (the
// shell reads it as the current folder).
std::vector<std::string> PathEntries();

} // namespace platform
