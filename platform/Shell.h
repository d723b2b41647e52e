// Opening a document or a link with the user's preferred program (the shell verb "open").
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plat {

// Decides how a target is opened; returns whether the opening was started.
using ShellOpenHook = std::function<bool(const std::string& target)>;

// Opens target through the installed hook, by default DefaultShellOpen. Safe from any thread.
bool ShellExecuteOpen(const std::string& target);

// Installs a hook (an empty one restores the default) and returns the one it replaces, so
// tests can record the calls and put the previous hook back.
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);

// Starts xdg-open with the target as its only argument, detached from this process. A target
// that starts with '-' is given as "./target" so that it is never taken for an option. True
// when xdg-open was started; whether it then finds a program for the target is not known here.
bool DefaultShellOpen(const std::string& target);

// Runs program (searched in PATH) with the arguments exactly as given (no shell), in its own
// session, with standard input from /dev/null, and leaves no child behind to reap. True when
// the program could be started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

} // namespace plat
