#include "comm/CommPort.h"

#include "comm/EvRead.h"
#include "comm/EvStatus.h"
#include "comm/ThRead.h"
#include "comm/ThStatus.h"
#include "comm/ThWrite.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr plat::DWORD BaudTable[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                     19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The whole flags word per TComControl: none; XON/XOFF both ways; RTS/CTS and DTR/DSR.
constexpr plat::DWORD ControlFlags[] = {0x0001, 0x1311, 0x202D};

constexpr plat::DWORD ERROR_NOT_ENOUGH_MEMORY = 8;

const char* const WarningCaption = "COM port warning";

} // namespace

TCommPort::TCommPort() {
    MonitorEvents =
        TEventStates{evRxChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing};
}

TCommPort::~TCommPort() {
    ClosePort();
    ReapThreads(true);
}

// ---- Line settings ------------------------------------------------------------------------

// Read from the driver, change one member, write back; while closed only the field changes.
template <class Change> void TCommPort::ChangeLineState(Change change) {
    if (!IsEnabled()) return;
    PortHandle->GetCommState(LineState);
    change(LineState);
    PortHandle->SetCommState(LineState);
}

void TCommPort::SetComControl(TComControl value) {
    FControl.store(value);
    ChangeLineState([&](plat::DCB& dcb) { dcb.Flags = ControlFlags[value % 3]; });
    // A writer held by the old handshake waits for a wake.
    if (IsEnabled() && OutBuffUsed() > 0) WriteEvent.Set();
}

void TCommPort::SetBaudRate(TBaudRate value) {
    FBaudRate = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.BaudRate = static_cast<plat::DWORD>(Baud()); });
}

void TCommPort::SetParity(TParity value) {
    FParity = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.Parity = value; });
}

void TCommPort::SetStopBits(TStopBits value) {
    FStopBits = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.StopBits = value; });
    BitsWarning();
}

void TCommPort::SetDataBits(std::uint16_t value) {
    if (value < 5 || value > 8) value = 8;
    FDataBits = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.ByteSize = static_cast<plat::BYTE>(value); });
    BitsWarning();
}

void TCommPort::SetXonLim(std::uint16_t value) {
    FXonLim = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.XonLim = value; });
}

void TCommPort::SetXoffLim(std::uint16_t value) {
    const std::uint32_t limit = std::min<std::uint32_t>(InSize(), 65535);
    FXoffLim = static_cast<std::uint16_t>(std::min<std::uint32_t>(value, limit));
    ChangeLineState([&](plat::DCB& dcb) { dcb.XoffLim = FXoffLim; });
}

void TCommPort::SetXonChar(std::uint8_t value) {
    FXonChar = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.XonChar = value; });
}

void TCommPort::SetXoffChar(std::uint8_t value) {
    FXoffChar = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.XoffChar = value; });
}

void TCommPort::SetEventChar(std::uint8_t value) {
    FEventChar = value;
    ChangeLineState([&](plat::DCB& dcb) { dcb.EvtChar = value; });
}

int TCommPort::Baud() const {
    return FBaudRate < std::size(BaudTable) ? static_cast<int>(BaudTable[FBaudRate]) : 0;
}

void TCommPort::SetBaud(int value) {
    for (std::size_t i = 0; i < std::size(BaudTable); ++i)
        if (static_cast<plat::DWORD>(value) == BaudTable[i] && value > 0)
            return SetBaudRate(static_cast<TBaudRate>(i));
}

void TCommPort::BitsWarning() {
    if (FDataBits == 5 && FStopBits == sb2_0)
        plat::MessageBox("Invalid combination (5 data bits with 2 stop bits)", WarningCaption,
                         plat::MB_OK | plat::MB_ICONEXCLAMATION);
    else if (FDataBits != 5 && FStopBits == sb1_5)
        plat::MessageBox("Invalid combination (6,7 or 8 data bits with 1.5 stop bits)",
                         WarningCaption, plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

// ---- Opening and closing ------------------------------------------------------------------

void TCommPort::SetOpen(bool value) {
    if (value == Open) return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCommPort::SetComNumber(int value) {
    SetOpen(false);
    if (value != FComNumber) FLost = false;
    FComNumber = value;
}

// Written from a handler while a close is under way, the size still waits for the next open:
// the rings keep theirs until the threads that use them have ended.
void TCommPort::SetIBuffSize(std::uint32_t value) {
    const bool wasOpen = Open;
    SetOpen(false);
    FInSize.store(value);
    if (wasOpen) SetOpen(true);
}

void TCommPort::SetOBuffSize(std::uint32_t value) {
    const bool wasOpen = Open;
    SetOpen(false);
    FOutSize.store(value);
    if (wasOpen) SetOpen(true);
}

bool TCommPort::AllocateRings() {
    std::lock_guard lock(PutLock);
    OutRing.Size = OutSize();
    InRing.Size = InSize();
    for (TRing* ring : {&OutRing, &InRing}) {
        ring->Head = 0;
        ring->Used.store(0);
        ring->InFlight = 0;
        ring->Buffer.reset(new (std::nothrow) std::uint8_t[ring->Size]);
        if (!ring->Buffer) return false;
    }
    return true;
}

// The device is closed outside the producer's lock: closing may wait for output still being
// sent, and PutBlock must not wait with it.
void TCommPort::ReleaseRings() {
    std::unique_ptr<plat::SerialDevice> device;
    {
        std::lock_guard lock(PutLock);
        Accepting = false;
        device = std::move(PortHandle);
        InRing.Buffer.reset();
        OutRing.Buffer.reset();
        InRing.Used.store(0);
        OutRing.Used.store(0);
    }
}

void TCommPort::OpenPort() {
    if (Open || Closing) return;
    if (IsEnabled()) {
        // Forced while really open: new rings under running threads would be fatal, so the
        // open runs on a cleanly closed port.
        Open = true;
        ClosePort();
    }
    ReapThreads(false);
    const bool allocated = AllocateRings();
    plat::SetLastError(allocated ? 0 : ERROR_NOT_ENOUGH_MEMORY);
    std::unique_ptr<plat::SerialDevice> device;
    if (allocated) device = plat::OpenComPort(FComNumber);
    if (!device) {
        ReleaseRings();
        plat::MessageBox("Can't open COM port", "COM port error", plat::MB_OK | plat::MB_ICONHAND);
        return;
    }
    {
        std::lock_guard lock(PutLock);
        PortHandle = std::move(device);
    }
    FLost = false;
    PortHandle->SetupComm(InSize(), OutSize());
    PortHandle->SetCommTimeouts(plat::COMMTIMEOUTS{});
    ApplyLineSettings();
    StartThreads();
    Open = true;
    SetDTR(FDTR);
    SetRTS(FRTS);
    if (const TErrorEvent handler = OnOpen) handler(this, static_cast<int>(plat::GetLastError()));
}

// Through the setters, so the adjustments (XoffLim against the current InSize) and the
// warnings come again.
void TCommPort::ApplyLineSettings() {
    SetComControl(FControl.load());
    SetBaudRate(FBaudRate);
    SetParity(FParity);
    SetStopBits(FStopBits);
    SetDataBits(FDataBits);
    SetXonLim(FXonLim);
    SetXoffLim(FXoffLim);
    SetXonChar(FXonChar);
    SetXoffChar(FXoffChar);
    SetEventChar(FEventChar);
}

void TCommPort::StartThreads() {
    // Every worker starts with its wake event clear.
    ReadEvent.Reset();
    WriteEvent.Reset();
    DataEvent.Reset();
    StatusEvent.Reset();
    StatusThread = std::make_unique<TStatusThread>(this, MonitorEvents);
    ReadThread = std::make_unique<TReadThread>(this);
    WriteThread = std::make_unique<TWriteThread>(this);
    ReadEventThread = std::make_unique<TReadEventThread>(this);
    StatusEventThread = std::make_unique<TStatusEventThread>(this);
    std::lock_guard lock(PutLock);
    Accepting = true;
}

void TCommPort::ClosePort() {
    if (!Open || Closing) return;
    Closing = true;
    TakeModemStatus(0);
    StopThreads();
    // Once more: the status thread may have refreshed them before it stopped.
    TakeModemStatus(0);
    FLost = PortHandle && PortHandle->Gone();
    ReleaseRings();
    Open = false;
    Closing = false;
    if (const TNotifyEvent handler = OnClose) handler(this);
}

// One thread at a time, each stopped completely before the next. The waits keep serving the
// event threads' synchronized calls, so events may still be raised meanwhile.
void TCommPort::StopThreads() {
    StopWorker(StatusThread, [this] {
        if (PortHandle) PortHandle->SetCommMask(0);
    });
    StopWorker(ReadThread, [this] { ReadEvent.Set(); });
    {
        // What PutBlock takes from here on would never be written: it takes nothing.
        std::lock_guard lock(PutLock);
        Accepting = false;
    }
    StopWorker(WriteThread, [this] { WriteEvent.Set(); });
    StopEventThread(ReadEventThread, DataEvent);
    StopEventThread(StatusEventThread, StatusEvent);
}

// Cancelling the thread's own waits keeps a pending transfer or pause from holding it.
template <class Worker, class Wake>
void TCommPort::StopWorker(std::unique_ptr<Worker>& thread, Wake wake) {
    if (!thread) return;
    thread->Terminate();
    thread->Overlapped.Cancel();
    wake();
    thread->WaitFor();
    thread.reset();
}

// A thread whose handler is running (the close was asked from inside it) waits for this very
// call, so it is not waited for here.
template <class EventThread>
void TCommPort::StopEventThread(std::unique_ptr<EventThread>& thread, plat::Event& wake) {
    if (!thread) return;
    thread->Terminate();
    wake.Set();
    if (thread->InHandler) {
        EndingThreads.push_back(std::move(thread));
        return;
    }
    thread->WaitFor();
    thread.reset();
}

// Deletes the stopped event threads that have ended; with wait, waits for all of them.
void TCommPort::ReapThreads(bool wait) {
    std::erase_if(EndingThreads, [wait](const std::unique_ptr<plat::TThread>& t) {
        if (wait) t->WaitFor();
        return t->Finished();
    });
}

// ---- Rings --------------------------------------------------------------------------------

// A size written while a close is under way may be below what the ring still holds.
std::uint32_t TCommPort::InBuffFree() {
    plat::CriticalSectionLock lock(InLock);
    const std::uint32_t size = InSize();
    return size - std::min(size, InRing.Used.load());
}

std::uint32_t TCommPort::OutBuffFree() {
    plat::CriticalSectionLock lock(OutLock);
    const std::uint32_t size = OutSize();
    return size - std::min(size, OutRing.Used.load());
}

// Takes what fits, in at most two pieces after the tail; never waits for room or the device.
// A device that is gone takes nothing, so the caller fails at once instead of waiting for a
// reply that cannot come.
std::uint32_t TCommPort::PutBlock(const void* source, std::uint32_t length) {
    std::lock_guard producer(PutLock);
    if (!PortHandle || !Accepting || PortHandle->Gone()) return 0;
    std::uint32_t head, used;
    {
        plat::CriticalSectionLock lock(OutLock);
        head = OutRing.Head;
        used = OutRing.Used.load();
    }
    const std::uint32_t size = OutRing.Size;
    const std::uint32_t tail = head + used;
    std::uint32_t first, firstLength, secondLength = 0;
    if (tail < size) {
        first = tail;
        firstLength = std::min(length, size - tail);
        // What did not fit before the end of the buffer goes to its start, up to the head.
        secondLength = std::min(length - firstLength, head);
    } else {
        first = tail - size;
        firstLength = std::min(length, head - first);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(source);
    if (firstLength) std::memcpy(OutRing.Buffer.get() + first, bytes, firstLength);
    if (secondLength) std::memcpy(OutRing.Buffer.get(), bytes + firstLength, secondLength);
    const std::uint32_t taken = firstLength + secondLength;
    {
        plat::CriticalSectionLock lock(OutLock);
        OutRing.Used.fetch_add(taken);
    }
    if (taken > 0) WriteEvent.Set();
    return taken;
}

std::uint32_t TCommPort::GetBlock(void* destination, std::uint32_t length) {
    if (!IsEnabled() || InBuffUsed() == 0) return 0;
    std::uint32_t head, used;
    {
        plat::CriticalSectionLock lock(InLock);
        head = InRing.Head;
        used = InRing.Used.load();
    }
    const std::uint32_t size = InRing.Size;
    std::uint32_t firstLength, secondLength = 0;
    if (head + used < size) {
        firstLength = std::min(length, used);
    } else {
        firstLength = std::min(length, size - head);
        if (length >= size - head)
            secondLength = std::min(length - (size - head), head + used - size);
    }
    auto* bytes = static_cast<std::uint8_t*>(destination);
    if (firstLength) std::memcpy(bytes, InRing.Buffer.get() + head, firstLength);
    if (secondLength) std::memcpy(bytes + firstLength, InRing.Buffer.get(), secondLength);
    const std::uint32_t given = firstLength + secondLength;
    {
        plat::CriticalSectionLock lock(InLock);
        InRing.Used.fetch_sub(given);
        InRing.Head += given;
        if (InRing.Head >= size) InRing.Head -= size;
    }
    // The reader may have stopped on a full ring.
    ReadEvent.Set();
    return given;
}

std::uint32_t TCommPort::PutChar(std::uint8_t c) {
    return PutBlock(&c, 1);
}

std::uint32_t TCommPort::PutString(const char* text) {
    if (!text) return 0;
    const std::size_t length = std::strlen(text);
    if (length == 0) return 0;
    return PutBlock(text, static_cast<std::uint32_t>(std::min<std::size_t>(length, UINT32_MAX)));
}

std::uint8_t TCommPort::GetChar() {
    if (InBuffUsed() == 0) return 0;
    std::uint8_t c = 0;
    GetBlock(&c, 1);
    return c;
}

// The held bytes are dropped by moving Head past them, so a read in flight lands at the new
// Head.
void TCommPort::FlushInBuffer() {
    if (IsEnabled()) PortHandle->PurgeComm(plat::PURGE_RXABORT | plat::PURGE_RXCLEAR);
    plat::CriticalSectionLock lock(InLock);
    if (InRing.Size > 0) InRing.Head = (InRing.Head + InRing.Used.load()) % InRing.Size;
    InRing.Used.store(0);
}

// The producer is held off meanwhile. A chunk the writer has in flight stays counted until
// its write returns (the purge ends it), so the bytes put after the flush keep their place.
void TCommPort::FlushOutBuffer() {
    std::lock_guard producer(PutLock);
    if (IsEnabled()) PortHandle->PurgeComm(plat::PURGE_TXABORT | plat::PURGE_TXCLEAR);
    plat::CriticalSectionLock lock(OutLock);
    WriteEvent.Reset();
    OutRing.Used.store(OutRing.InFlight);
    ++OutRing.Flushes;
}

// ---- Modem lines, break, queue count ------------------------------------------------------

void TCommPort::SetDTR(bool value) {
    if (!Open) {
        FDTR = value;
        return;
    }
    if (IsEnabled() && PortHandle->EscapeCommFunction(value ? plat::SETDTR : plat::CLRDTR))
        FDTR = value;
}

void TCommPort::SetRTS(bool value) {
    if (!Open) {
        FRTS = value;
        return;
    }
    if (IsEnabled() && PortHandle->EscapeCommFunction(value ? plat::SETRTS : plat::CLRRTS))
        FRTS = value;
}

bool TCommPort::SetBreak(bool on) {
    if (!Open || !IsEnabled()) return false;
    return PortHandle->EscapeCommFunction(on ? plat::SETBREAK : plat::CLRBREAK);
}

void TCommPort::SendBreak(std::uint16_t ticks) {
    if (Open) SetBreak(true);
    plat::Sleep(static_cast<plat::DWORD>(ticks) * 55);
    if (Open) SetBreak(false);
}

void TCommPort::PowerOn() {
    if (IsEnabled()) {
        PortHandle->EscapeCommFunction(plat::SETDTR);
        PortHandle->EscapeCommFunction(plat::SETRTS);
    }
    FRTS = true;
    FDTR = true;
}

void TCommPort::PowerOff() {
    if (IsEnabled()) {
        PortHandle->EscapeCommFunction(plat::CLRDTR);
        PortHandle->EscapeCommFunction(plat::CLRRTS);
    }
    FRTS = false;
    FDTR = false;
}

bool TCommPort::GetModemState(int line) {
    static constexpr plat::DWORD Bits[] = {plat::MS_CTS_ON, plat::MS_DSR_ON, plat::MS_RING_ON,
                                           plat::MS_RLSD_ON};
    if (line < 1 || line > 4 || !Open || !IsEnabled()) return false;
    plat::DWORD status = 0;
    return PortHandle->GetCommModemStatus(status) && (status & Bits[line - 1]);
}

std::int32_t TCommPort::OutQueCount() {
    if (!Open || !IsEnabled()) return 0;
    plat::DWORD errors = 0;
    plat::COMSTAT stat;
    PortHandle->ClearCommError(errors, stat);
    return static_cast<std::int32_t>(stat.cbOutQue);
}

void TCommPort::TakeModemStatus(plat::DWORD status) {
    FCTS.store(status & plat::MS_CTS_ON);
    FDSR.store(status & plat::MS_DSR_ON);
    FDCD.store(status & plat::MS_RLSD_ON);
    FRing.store(status & plat::MS_RING_ON);
}
