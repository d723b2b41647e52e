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
// when it cannot be opened.
std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& path,
                                                const TermiosOptions& options = {});

} // namespace plat
