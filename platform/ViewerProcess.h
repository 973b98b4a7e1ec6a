#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Whether this system has viewers of its own to offer beside the one in Bin.
bool HasSystemViewers();

// The program of that name on the PATH that no other account may change: the file, and every
// folder it and its link's target stand in, belong to the system or to this user and no one
// else may write them. Relative PATH entries are never searched. Empty when there is none.
std::string FindTrustedProgram(const std::string& name);

// How a process ended.
struct ProcessEnd {
    bool exitedNormally = false; // false: ended by a signal
    int exitCode = 0;            // the exit code, or the signal's number
};

// A program run in a session of its own, with its standard input fed from a pipe and its two
// output streams into one pipe this side reads. Destroying the object leaves the program
// running: a viewer outlives the window that started it.
class ChildProcess {
public:
    // Starts program (its first argument is program itself) with the environment of this
    // process plus extraEnvironment ("NAME=value"); writes input to its standard input, which is
    // then closed. Throws Exception naming the program when it cannot be started.
    static std::unique_ptr<ChildProcess> Start(const std::string& program,
                                               const std::vector<std::string>& arguments,
                                               const std::vector<std::string>& extraEnvironment,
                                               const std::string& input);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Readable when there is output or the output has ended; -1 once it has ended.
    int OutputDescriptor() const { return output_; }
    // Readable once the program has ended.
    int EndDescriptor() const { return end_; }
    // What output there is, without waiting; an empty result when there is none now. Sets ended
    // once the program's side of the pipe is closed.
    std::string ReadOutput(bool& ended);
    // How the program ended, once it has; nothing while it runs. Reaps it.
    std::optional<ProcessEnd> Ended();
    // Asks the program and everything it started to end; force: ends them at once.
    void Stop(bool force = false);
    int Id() const { return pid_; }

private:
    ChildProcess() = default;
    int pid_ = -1;
    int output_ = -1;
    int end_ = -1;
    bool reaped_ = false;
};

} // namespace platform
