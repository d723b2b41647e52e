// The serial device on a Linux terminal (termios): a serial port, a USB adapter or the slave
// side of a pseudo-terminal.
#pragma once

#include "platform/SerialDevice.h"

#include <memory>
#include <string>

namespace plat {

struct TermiosOptions {
    // How often modem lines, break and line-error counters are looked at while a comm-event
    // wait is pending; only on devices that have them (a pseudo-terminal has none).
    DWORD ModemPollMs = 25;
    // How long closing waits for output the device has not sent yet while it still makes
    // progress; what is left after that is dropped, so that close() cannot block.
    DWORD CloseDrainMs = 1000;
};

// Opens path exclusively (flock and TIOCEXCL) in raw mode; null with the last-error code set
// when it cannot be opened, and the reason written to standard error. Closing restores the
// settings found at the open. A device that hangs up or fails later (a pulled adapter) says so
// once on standard error and is let go at once; it is Gone() from then on.
std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& path,
                                                const TermiosOptions& options = {});

// Why path (leading to device) did not open, for a user who must tell a missing device from a
// missing right: the system's reason for error, with a hint where one helps. When permission was
// denied, group names the device's group if that group may read and write it; empty, the device
// grants no group that access, and joining a group would not help.
std::string OpenFailureText(const std::string& path, const std::string& device, int error,
                            const std::string& group);
// What standard error says, once, when the device behind path (leading to device) goes away:
// the system's reason for error, or a hang-up of the line when error is 0.
std::string GoneText(const std::string& path, const std::string& device, int error);
// The group whose members may read and write path (its name, or its number when it has none);
// empty when the group lacks either right or path cannot be examined.
std::string DeviceAccessGroup(const std::string& path);

} // namespace plat
