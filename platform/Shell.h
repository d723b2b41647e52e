// Opening a document or a link with the user's preferred program (the shell verb "open").
#pragma once

#include <functional>
#include <string>

namespace plat {

// Decides how a target is opened; returns whether the opening was started.
using ShellOpenHook = std::function<bool(const std::string& target)>;

// Opens target through the installed hook. Safe from any thread. By default xdg-open is started
// with the target as its only argument, detached from this process; true when xdg-open was
// started, whether it then finds a program for the target is not known here.
bool ShellExecuteOpen(const std::string& target);

// Installs a hook (an empty one restores the default) and returns the one it replaces, so
// tests can record the calls and put the previous hook back.
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);

} // namespace plat
