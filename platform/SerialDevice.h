// The serial device as the port component sees it: the Windows-style communications calls
// behind a small interface, so that a test can plug in a scripted device where a
// pseudo-terminal cannot act (modem lines, break, line errors). The real device is the
// termios one (SerialTermios.h); OpenComPort goes through a replaceable factory.
//
// Port numbers: "COM" + n is the device that the link `COMn` in the ports folder points to;
// the ports folder is $LIVAT_PORTS_DIR when set, else $XDG_CONFIG_HOME/livat/ports (default
// ~/.config/livat/ports). Without such a link, COMn is /dev/ttyS<n-1>.
#pragma once

#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plat {

using WORD = std::uint16_t;
using BYTE = std::uint8_t;

// Comm-event mask bits.
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Modem status bits.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// Purge flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Escape functions.
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// Line errors reported by ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// A write that the device would not take within its time limit.
constexpr DWORD ERROR_SEM_TIMEOUT = 121;

// Parity and stop-bit codes of the line-state record.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// Bits of the line-state flags word.
constexpr DWORD DCB_BINARY = 0x0001;
constexpr DWORD DCB_PARITY = 0x0002;
constexpr DWORD DCB_OUTX_CTS_FLOW = 0x0004;
constexpr DWORD DCB_DTR_CONTROL_MASK = 0x0030;
constexpr DWORD DCB_OUTX = 0x0100;
constexpr DWORD DCB_INX = 0x0200;
constexpr DWORD DCB_RTS_CONTROL_MASK = 0x3000;
// Values of the two line-control fields, already shifted into place.
constexpr DWORD DCB_DTR_DISABLE = 0x0000;
constexpr DWORD DCB_DTR_ENABLE = 0x0010;
constexpr DWORD DCB_DTR_HANDSHAKE = 0x0020;
constexpr DWORD DCB_RTS_DISABLE = 0x0000;
constexpr DWORD DCB_RTS_ENABLE = 0x1000;
constexpr DWORD DCB_RTS_HANDSHAKE = 0x2000;

// The line state (device-control block). The device keeps every member as it was last set,
// including those the line discipline has no use for (XonLim, XoffLim).
struct DCB {
    DWORD BaudRate = 9600;
    DWORD Flags = DCB_BINARY | DCB_DTR_ENABLE | DCB_RTS_ENABLE;
    WORD XonLim = 0;
    WORD XoffLim = 0;
    BYTE ByteSize = 8;
    BYTE Parity = NOPARITY;
    BYTE StopBits = ONESTOPBIT;
    BYTE XonChar = 0x11;
    BYTE XoffChar = 0x13;
    BYTE EvtChar = 0;
};

// Kept for the component's set-up call; the device works as if all were 0 (no time-outs).
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// Queue counts reported by ClearCommError.
struct COMSTAT {
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};

// A worker thread's handle on its blocking device calls: Cancel ends the call in progress and
// every later one, so a thread that is being stopped never sits in a device wait.
// It is an eventfd so that the termios device can poll it beside the line.
class Overlapped {
public:
    Overlapped();
    ~Overlapped();
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    void Cancel();
    // Waits ms (INFINITE: for ever) or until cancelled; true when cancelled.
    bool Pause(DWORD ms) const;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// One open serial device. Every call sets the thread's last-error code on failure and leaves
// it alone on success. The calls are safe from several threads at once (the component's
// threads use them concurrently); one comm-event wait may be pending at a time.
class SerialDevice {
public:
    SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;
    // Closes the device.
    virtual ~SerialDevice() = default;

    virtual bool SetupComm(DWORD inQueue, DWORD outQueue) = 0;
    virtual bool GetCommState(DCB& dcb) = 0;
    virtual bool SetCommState(const DCB& dcb) = 0;
    virtual bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    // Sets the events to watch; a wait that is pending completes with mask 0.
    virtual bool SetCommMask(DWORD mask) = 0;
    // Starts a comm-event wait: true with the events when some are already recorded, else
    // false with ERROR_IO_PENDING (the wait is pending; collect it with GetCommEventResult) or
    // another error. EV_RXCHAR is an edge: reported once per arrival of bytes.
    virtual bool WaitCommEvent(DWORD& mask, Overlapped& ov) = 0;
    // Blocks until the pending wait completes (events, mask 0 after SetCommMask) or ov is
    // cancelled (false, ERROR_OPERATION_ABORTED).
    virtual bool GetCommEventResult(Overlapped& ov, DWORD& mask) = 0;
    // Takes at most n bytes of those already waiting; never waits for the line.
    virtual bool ReadFile(void* buffer, DWORD n, DWORD& got) = 0;
    // Writes all n bytes, waiting for the line as needed. Gives up with ERROR_SEM_TIMEOUT when
    // the device takes no byte for holdMs (INFINITE: never), with ERROR_OPERATION_ABORTED when
    // ov (may be null) is cancelled or the output is purged with PURGE_TXABORT. written counts
    // the bytes taken, also when the call fails.
    virtual bool WriteFile(const void* buffer, DWORD n, DWORD& written, Overlapped* ov,
                           DWORD holdMs) = 0;
    // Returns and clears the line errors (CE_...) and reports the queue counts.
    virtual bool ClearCommError(DWORD& errors, COMSTAT& stat) = 0;
    virtual bool PurgeComm(DWORD flags) = 0;
    // DTR, RTS and break. A device without modem lines takes the calls as done.
    virtual bool EscapeCommFunction(DWORD function) = 0;
    // MS_... bits; a device without modem lines reports 0.
    virtual bool GetCommModemStatus(DWORD& status) = 0;
    // True once the device hung up or failed (a pulled adapter): it never works again, and only
    // opening the port anew reaches the line. Safe from any thread.
    virtual bool Gone() const { return false; }
};

// Opens "COM" + comNumber exclusively through the current factory; null with the last-error
// code set when it cannot be opened (no such port, port in use).
std::unique_ptr<SerialDevice> OpenComPort(int comNumber);

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>(int comNumber)>;
// Replaces the factory (tests plug in scripted devices); an empty one restores the default,
// which opens the termios device at ComPortPath. Returns the previous factory.
SerialDeviceFactory SetSerialDeviceFactory(SerialDeviceFactory factory);

// The folder that holds the COMn links.
std::string PortsFolder();
// The device path "COM" + comNumber stands for; empty for a number below 1.
std::string ComPortPath(int comNumber);

} // namespace plat
