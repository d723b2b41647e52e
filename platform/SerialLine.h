// The line-state record as the kernel's terminal settings (termios2, which takes any baud
// rate), and back. Kept apart from the device so that the mapping can be checked on its own.
// Includes the kernel's terminal header, which clashes with <termios.h>: include one or the
// other.
#pragma once

#include "platform/SerialDevice.h"

#include <asm/termios.h>

namespace plat {

// The raw line for dcb, built from scratch so that nothing of a previous user's settings
// (echo, IXANY, canonical mode) survives. Linux has no DSR flow control: under the hardware
// handshake only CTS holds the output.
termios2 TermiosFromDcb(const DCB& dcb);

// The line state as the driver has it when the device is opened.
DCB DcbFromTermios(const termios2& t);

} // namespace plat
