#pragma once

#include <string>

namespace platform {

// Whether a temporary file or commit record is held by a running copy of the program: its name
// carries the process number; this process's own are held while their objects live.
bool IsHeldTemporary(const std::string& path);

} // namespace platform
