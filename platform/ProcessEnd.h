#pragma once

namespace platform {

// Ends this process at once with the exit code: no destructor, no library's exit handler, no
// thread joined. For a process whose work is done and saved, which a thread stuck in a library
// (a server that does not answer, a keyring) must not keep alive.
[[noreturn]] void EndThisProcess(int code);

} // namespace platform
