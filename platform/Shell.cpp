#include "platform/Shell.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

std::mutex gHookMutex;
ShellOpenHook gHook;

// Runs in the grandchild after fork: only async-signal-safe calls until exec.
[[noreturn]] void ExecDetached(char* const* argv, int reportFd) {
    setsid();
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        if (null != STDIN_FILENO) close(null);
    }
    execvp(argv[0], argv);
    const int error = errno;
    (void)!write(reportFd, &error, sizeof error);
    _exit(127);
}

// True when nothing arrived on the report pipe before it closed on exec.
bool ExecSucceeded(int readFd) {
    int error = 0;
    ssize_t got = 0;
    do {
        got = read(readFd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    return got == 0;
}

// Runs program (searched in PATH) with the arguments exactly as given (no shell), in its own
// session, with standard input from /dev/null, and leaves no child behind to reap. True when
// the program could be started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
    // Built before forking: the child may not allocate.
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        // The intermediate child exits at once, so the opener is adopted by init and this
        // process has nothing to reap later.
        const pid_t grandchild = fork();
        if (grandchild == 0) ExecDetached(argv.data(), pipeFds[1]);
        if (grandchild < 0) {
            const int error = errno;
            (void)!write(pipeFds[1], &error, sizeof error);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        started = ExecSucceeded(pipeFds[0]);
    }
    close(pipeFds[0]);
    return started;
}

// A target that starts with '-' is given as "./target" so that it is never taken for an option.
bool DefaultShellOpen(const std::string& target) {
    if (target.empty()) return false;
    return SpawnDetached("xdg-open", {target.front() == '-' ? "./" + target : target});
}

} // namespace

ShellOpenHook SetShellOpenHook(ShellOpenHook hook) {
    std::lock_guard<std::mutex> lock(gHookMutex);
    std::swap(gHook, hook);
    return hook;
}

bool ShellExecuteOpen(const std::string& target) {
    ShellOpenHook hook;
    {
        std::lock_guard<std::mutex> lock(gHookMutex);
        hook = gHook;
    }
    return hook ? hook(target) : DefaultShellOpen(target);
}

} // namespace plat
