// A program started by a test as a process of its own: the test signals it and waits for its
// end as the desktop or a terminal would.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

class ChildProcess {
public:
    // Starts program with the arguments in dir (the test's current directory when empty); the
    // child inherits the test's environment, and its standard error goes to errorFile when one
    // is named.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& dir = {}, const std::string& errorFile = {});
    // A child still running is killed and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Whether the child has a handler for every one of the signals by the time ms pass.
    bool WaitCatching(std::initializer_list<int> signos, int ms) const;
    bool Signal(int signo) const;
    // The child's wait status once it ended within ms; nothing while it still runs.
    std::optional<int> WaitExit(int ms);

private:
    pid_t pid_ = -1;
};
