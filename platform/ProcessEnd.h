#pragma once

namespace platform {

// Ends this process at once with the exit code: no destructor, no library's exit handler, no
// thread joined. For a process whose work is done and saved, which a thread stuck in a library
// (a server that does not answer, a keyring) must not keep alive.
[[noreturn]] void EndThisProcess(int code);

// Ends this process with the exit code once the given time has passed, from a thread of the
// system's own: one the threads library makes may wait for that library's locks, which a stuck
// thread holds.
void EndLater(int code, int milliseconds);

// The last step of a process whose own objects are gone and whose files are saved; main returns
// what it returns.
// - On Windows the system's exit first kills every other thread, then runs each library's
//   detach. A thread killed while it was ending holds the threads library's key lock, and the
//   C++ runtime's detach waits for that lock forever; no watchdog thread is left to end it. So
//   there the process ends here, with what is buffered written first.
// - Elsewhere the exit kills nobody: the code is returned, and the exit handlers run.
int Finish(int code);

} // namespace platform
