#pragma once

#include <string>

namespace platform {

// The name of the account this process runs as, as the system knows it; empty when it cannot
// be told.
std::string AccountName();

} // namespace platform
