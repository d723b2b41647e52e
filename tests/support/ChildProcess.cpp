#include "ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The mask of caught signals from the kernel's status of the process; 0 when unreadable.
std::uint64_t CaughtSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        std::uint64_t mask = 0;
        std::istringstream(line.substr(7)) >> std::hex >> mask;
        return mask;
    }
    return 0;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& dir, const std::string& errorFile) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ != 0) return;
    // Only async-signal-safe calls between fork and exec: the test program has threads.
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(126);
    if (!errorFile.empty()) {
        const int fd = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

bool ChildProcess::WaitCatching(std::initializer_list<int> signos, int ms) const {
    std::uint64_t wanted = 0;
    for (int signo : signos)
        wanted |= std::uint64_t{1} << (signo - 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while ((CaughtSignals(pid_) & wanted) != wanted) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool ChildProcess::Signal(int signo) const {
    return pid_ > 0 && ::kill(pid_, signo) == 0;
}

std::optional<int> ChildProcess::WaitExit(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}
