#include "platform/SerialDevice.h"

#include "platform/SerialTermios.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

Overlapped::Overlapped() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Overlapped::~Overlapped() {
    if (fd_ >= 0) close(fd_);
}

void Overlapped::Cancel() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(fd_, &one, sizeof one);
}

bool Overlapped::Pause(DWORD ms) const {
    pollfd p{fd_, POLLIN, 0};
    const int timeout = ms == INFINITE ? -1 : static_cast<int>(ms);
    for (;;) {
        const int r = poll(&p, 1, timeout);
        if (r >= 0) return r > 0;
        if (errno != EINTR) return false;
    }
}

namespace {

std::mutex factoryLock;
SerialDeviceFactory factory;

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

std::unique_ptr<SerialDevice> OpenComPort(int comNumber) {
    SerialDeviceFactory f;
    {
        std::lock_guard lock(factoryLock);
        f = factory;
    }
    if (f) return f(comNumber);
    const std::string path = ComPortPath(comNumber);
    if (path.empty()) {
        std::fprintf(stderr, "Can't open COM%d: there is no such port\n", comNumber);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return OpenTermiosDevice(path);
}

SerialDeviceFactory SetSerialDeviceFactory(SerialDeviceFactory f) {
    std::lock_guard lock(factoryLock);
    std::swap(factory, f);
    return f;
}

std::string PortsFolder() {
    std::string dir = EnvValue("LIVAT_PORTS_DIR");
    if (!dir.empty()) return dir;
    dir = EnvValue("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is to be ignored.
    if (dir.empty() || dir[0] != '/') dir = EnvValue("HOME") + "/.config";
    return dir + "/livat/ports";
}

std::string ComPortPath(int comNumber) {
    if (comNumber < 1) return {};
    const std::string link = PortsFolder() + "/COM" + std::to_string(comNumber);
    struct stat st;
    // A dangling link still names the port: opening it then fails as a missing device would.
    if (lstat(link.c_str(), &st) == 0) return link;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

} // namespace plat
