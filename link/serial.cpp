#include "link/serial.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Kept as three separate values so the constant never sits whole in the image; the recorder
// firmware carries the same three.
constexpr std::uint8_t kLinkByte0 = 0x5A;
constexpr std::uint8_t kLinkByte1 = 0xA5;
constexpr std::uint8_t kLinkByte2 = 0x3C;

constexpr std::uint8_t kReadRegisters = 0x03;
constexpr std::uint8_t kWriteRegister = 0x06;
constexpr std::uint8_t kDiagnostics = 0x08;
constexpr std::uint8_t kWriteRegisters = 0x10;

constexpr std::uint16_t kFirstParamRegister = 0x0400;
constexpr std::uint16_t kNumberRegister = 0x0400;
constexpr std::uint16_t kCommandRegister = 0x0402;
constexpr std::uint16_t kOptionRegister = 0x0403;
constexpr std::uint16_t kTimeRegister = 0x040A;
constexpr std::uint16_t kDateRegister = 0x040E;
constexpr std::uint16_t kDiagSubFunction = 0x0002;
constexpr std::uint16_t kDiagData = 0xD1D2;

constexpr int kParamCount = static_cast<int>(std::tuple_size_v<DeviceParams>);
constexpr int kClockWords = 7;
constexpr int kMaxRegistersPerRead = 123;

// The CRC-16 byte tables as published for the Modbus serial line: the low and the high byte of
// the table entry for each index.
const std::uint8_t kCrcHi[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
};

const std::uint8_t kCrcLo[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2, 0xC6, 0x06, 0x07, 0xC7, 0x05, 0xC5, 0xC4, 0x04,
    0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E, 0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8,
    0xD8, 0x18, 0x19, 0xD9, 0x1B, 0xDB, 0xDA, 0x1A, 0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6, 0xD2, 0x12, 0x13, 0xD3, 0x11, 0xD1, 0xD0, 0x10,
    0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32, 0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4,
    0x3C, 0xFC, 0xFD, 0x3D, 0xFF, 0x3F, 0x3E, 0xFE, 0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA, 0xEE, 0x2E, 0x2F, 0xEF, 0x2D, 0xED, 0xEC, 0x2C,
    0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26, 0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0,
    0xA0, 0x60, 0x61, 0xA1, 0x63, 0xA3, 0xA2, 0x62, 0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE, 0xAA, 0x6A, 0x6B, 0xAB, 0x69, 0xA9, 0xA8, 0x68,
    0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA, 0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C,
    0xB4, 0x74, 0x75, 0xB5, 0x77, 0xB7, 0xB6, 0x76, 0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92, 0x96, 0x56, 0x57, 0x97, 0x55, 0x95, 0x94, 0x54,
    0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E, 0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98,
    0x88, 0x48, 0x49, 0x89, 0x4B, 0x8B, 0x8A, 0x4A, 0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86, 0x82, 0x42, 0x43, 0x83, 0x41, 0x81, 0x80, 0x40,
};

// Holds the link mutex for a scope.
class LockHold {
public:
    explicit LockHold(plat::Mutex& m) : m_(m) { m_.Wait(plat::INFINITE); }
    ~LockHold() { m_.Release(); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

private:
    plat::Mutex& m_;
};

// The factory number and firmware version words are read by the wizard without the lock, so
// every store into a register mirror is an atomic one; it costs nothing and keeps such a read
// well-defined even when it comes at an unexpected moment.
void StoreWord(std::uint16_t& word, std::uint16_t value) {
    std::atomic_ref<std::uint16_t>(word).store(value, std::memory_order_relaxed);
}

std::uint16_t LoadWord(const std::uint16_t& word) {
    return std::atomic_ref<std::uint16_t>(const_cast<std::uint16_t&>(word))
        .load(std::memory_order_relaxed);
}

// Decimals each measured value is rounded to; -1 leaves it as read.
int MeasurementDecimals(int k) {
    switch (k) {
    case 102:
    case 109:
    case 112:
        return -1;
    case 104:
    case 106:
    case MeasuredValue::DeviationF:
    case MeasuredValue::DipDuration:
    case MeasuredValue::DipDepth:
    case MeasuredValue::SwellDuration:
    case MeasuredValue::SwellFactor:
        return 3;
    default:
        return 2;
    }
}

std::int8_t FailureCode(std::int8_t code) {
    switch (code) {
    case RequestDiagnostics:
        return ResultDiagnosticsFailed;
    case RequestReadParamsTwice:
        return ResultParamsFailed;
    default:
        return static_cast<std::int8_t>(code + 1);
    }
}

int ExceptionResult(std::uint8_t exceptionCode) {
    switch (exceptionCode) {
    case 1:
        return ResultLinkBadFunction;
    case 2:
        return ResultLinkBadRegister;
    default:
        return ResultLinkException;
    }
}

bool SameDay(const ClockRecord& clock, const std::uint16_t* date) {
    return clock.Day == date[0] && clock.Month == date[1] && clock.Year == date[2];
}

std::uint8_t LowByte(std::uint16_t w) {
    return static_cast<std::uint8_t>(w & 0xFF);
}
std::uint8_t HighByte(std::uint16_t w) {
    return static_cast<std::uint8_t>(w >> 8);
}

// The three bytes K0 K1 K2 that requests of functions 3, 6 and 8 carry in their CRC. The
// recorder holds the same three.
std::array<std::uint8_t, 3> LinkConstant() {
    std::array<std::uint8_t, 3> k{};
    k[0] = kLinkByte0;
    k[1] = kLinkByte1;
    k[2] = kLinkByte2;
    return k;
}

} // namespace

Serial::Serial(plat::HWND notifyWindow, SerialHost& host, SerialRequestSet requestSet,
               const SerialTiming& timing)
    : NotifyWindow(notifyWindow), Host(host), RequestSet(requestSet), Timing(timing) {
    // Lock and Wake exist before the thread runs.
    Start();
}

Serial::~Serial() {
    PostCommand(RequestStop);
    plat::Sleep(Timing.StopPause);
    if (Lock.Wait(Timing.StopLockWait) == plat::WAIT_OBJECT_0) Lock.Release();
    WaitFor();
}

void Serial::PostCommand(SerialRequestCode code) {
    LockHold hold(Lock);
    Command = code;
    Wake.Set();
}

void Serial::SetClock(const ClockRecord& clock) {
    LockHold hold(Lock);
    const std::uint16_t words[kClockWords] = {clock.Second,    clock.Minute, clock.Hour,
                                              clock.DayOfWeek, clock.Day,    clock.Month,
                                              clock.Year};
    for (int i = 0; i < kClockWords; ++i)
        StoreWord(DeviceParams[DeviceParamWord::Clock + i], words[i]);
}

void Serial::SetWriteValues(std::uint16_t number, std::uint16_t command, std::uint16_t option) {
    LockHold hold(Lock);
    StoreWord(DeviceParams[DeviceParamWord::FactoryNumber], number);
    StoreWord(DeviceParams[DeviceParamWord::Command], command);
    StoreWord(DeviceParams[DeviceParamWord::Option], option);
}

void Serial::GetConfig(::DeviceParams& dest) {
    LockHold hold(Lock);
    dest = DeviceParams;
}

void Serial::GetDiagnostics(DiagnosticValues& dest) {
    LockHold hold(Lock);
    dest.DiagWord = DiagWord;
    dest.DiagHigh = DiagHigh;
    dest.DiagFlags = DiagFlags;
}

void Serial::GetMeasurements(Measurements& dest) {
    {
        LockHold hold(Lock);
        for (int k = 0; k < MeasurementCount; ++k) {
            const std::uint32_t bits =
                (static_cast<std::uint32_t>(MeasurementRegisters[2 * k]) << 16) |
                MeasurementRegisters[2 * k + 1];
            std::memcpy(&dest[k], &bits, sizeof bits);
        }
    }
    for (int k = 0; k < MeasurementCount; ++k) {
        const int decimals = MeasurementDecimals(k);
        if (decimals >= 0) dest[k] = RoundTo(dest[k], decimals);
    }
}

std::uint16_t Serial::GetSerialNumber() const {
    return LoadWord(DeviceParams[DeviceParamWord::FactoryNumber]);
}

std::uint16_t Serial::GetFirmwareVersion() const {
    return LoadWord(DeviceParams[DeviceParamWord::FirmwareVersion]);
}

void Serial::GetSignalResults(float& deviationU, float& deviationF,
                              std::array<float, 51>& harmonics, std::array<float, 51>& second) {
    Measurements m{};
    GetMeasurements(m);
    deviationU = m[MeasuredValue::DeviationU];
    deviationF = m[MeasuredValue::DeviationF];
    for (std::size_t i = 0; i < harmonics.size(); ++i) {
        harmonics[i] = m[MeasuredValue::Harmonics + i];
        second[i] = m[MeasuredValue::SecondBlock + i];
    }
}

void Serial::GetEventResults(bool overvoltage, float& duration, float& level) {
    Measurements m{};
    GetMeasurements(m);
    using namespace MeasuredValue;
    duration = (overvoltage ? m[SwellDuration] : m[DipDuration]) * EventMsPerSecond;
    level = overvoltage ? m[SwellFactor] : m[DipDepth];
}

float Serial::RoundTo(float x, int decimals) {
    if (std::isnan(x) || std::isinf(x)) return x;
    float m = 1.0f;
    for (int i = 0; i < decimals; ++i)
        m = m * 10.0f;
    const float h = 0.5f / m;
    // A negative value is rounded by its magnitude, so -1.235 gives -1.24 as 1.235 gives 1.24.
    const bool negative = x < 0.0f;
    const long double t =
        (static_cast<long double>(negative ? -x : x) + static_cast<long double>(h)) *
        static_cast<long double>(m);
    // The whole number is kept in its low 32 bits; a product beyond the 64-bit range gives 0,
    // as the processor's own conversion does.
    std::int64_t whole = 0;
    if (t < 0x1p63L) whole = static_cast<std::int64_t>(t);
    const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(whole & 0xFFFFFFFF));
    const auto r = static_cast<float>(static_cast<long double>(n) / static_cast<long double>(m));
    // A small negative value that rounds to zero gives +0, as a positive one does.
    return negative && r != 0.0f ? -r : r;
}

std::uint16_t Serial::Crc16(const std::uint8_t* data, std::uint16_t length) {
    std::uint8_t hi = 0xFF;
    std::uint8_t lo = 0xFF;
    for (std::uint16_t i = 0; i < length; ++i) {
        const std::uint8_t index = lo ^ data[i];
        lo = hi ^ kCrcHi[index];
        hi = kCrcLo[index];
    }
    return static_cast<std::uint16_t>((hi << 8) | lo);
}

ClockRecord Serial::ClockFromDateTime(plat::TDateTime local) {
    const plat::DateTimeParts parts = plat::DecodeDateTime(local);
    // The platform counts 1 = Sunday .. 7 = Saturday: one less, Sunday's 0 becoming 7.
    int dayOfWeek = plat::DayOfWeek(local) - 1;
    if (dayOfWeek == 0) dayOfWeek = 7;
    ClockRecord c;
    c.Second = static_cast<std::uint16_t>(parts.second);
    c.Minute = static_cast<std::uint16_t>(parts.minute);
    c.Hour = static_cast<std::uint16_t>(parts.hour);
    c.DayOfWeek = static_cast<std::uint16_t>(dayOfWeek);
    c.Day = static_cast<std::uint16_t>(parts.day);
    c.Month = static_cast<std::uint16_t>(parts.month);
    c.Year = static_cast<std::uint16_t>(parts.year - 2000);
    return c;
}

void Serial::Execute() {
    while (!Terminated()) {
        Wake.Wait(plat::INFINITE);
        Lock.Wait(plat::INFINITE);
        // A code handed over while this thread waited for Lock set Wake again. That code is the
        // one about to run; left set, Wake would run Command - by then a result code - a second
        // time.
        Wake.Reset();
        RunCommand();
        Post(Command);
        Lock.Release();
    }
}

bool Serial::Handles(std::int8_t code) const {
    switch (code) {
    case RequestStop:
    case RequestReadParams:
    case RequestReadClock:
    case RequestWriteCommands:
    case RequestReadMeasurements:
    case RequestWriteNumber:
    case RequestWriteOption:
    case RequestWriteCommand:
        return true;
    case RequestSetClock:
    case RequestDiagnostics:
    case RequestWriteCommandNoResult:
        return RequestSet == SerialRequestSet::Service;
    case RequestReadParamsTwice:
        return RequestSet == SerialRequestSet::Wizard;
    default:
        return false;
    }
}

void Serial::RunCommand() {
    const std::int8_t code = Command;
    if (!Handles(code)) return; // posted back unchanged, nothing sent
    if (code == RequestStop) {
        Terminate();
        return;
    }
    if (!RunRequest(code)) Command = FailureCode(code);
}

bool Serial::RunRequest(std::int8_t code) {
    std::uint16_t* params = DeviceParams.data();
    switch (code) {
    case RequestReadParams:
        return BlockRead(kFirstParamRegister, params, kParamCount, 1);
    case RequestReadParamsTwice:
        return BlockRead(kFirstParamRegister, params, kParamCount, 2);
    case RequestReadClock:
        return ReadRegisters(kTimeRegister, params + DeviceParamWord::Clock, kClockWords);
    case RequestSetClock:
        return SetClockRequest();
    case RequestWriteCommands:
        if (RequestSet == SerialRequestSet::Wizard) return WriteCommandValue(5);
        return WriteCommandValue(4) && WriteCommandValue(8);
    case RequestReadMeasurements:
        return BlockRead(0, MeasurementRegisters.data(), MeasurementRegisterCount, 1);
    case RequestWriteNumber:
        return WriteRegister(kNumberRegister, DeviceParams[DeviceParamWord::FactoryNumber]) &&
               WriteCommandValue(7);
    case RequestWriteOption:
        return WriteRegisters(kOptionRegister, params + DeviceParamWord::Option, 1);
    case RequestWriteCommand:
        return WriteRegister(kCommandRegister, DeviceParams[DeviceParamWord::Command]);
    case RequestDiagnostics:
        return ReadDiagnostics();
    case RequestWriteCommandNoResult:
        WriteRegister(kCommandRegister, DeviceParams[DeviceParamWord::Command]);
        return true;
    default:
        return true;
    }
}

bool Serial::SetClockRequest() {
    if (!WriteCommandValue(4)) return false;
    if (!WriteRegister(kDateRegister, DeviceParams[DeviceParamWord::Clock + 4])) return false;
    if (Host.RadioButton1Checked() && !RefreshClock()) return false;
    if (!WriteRegister(kTimeRegister, DeviceParams[DeviceParamWord::Clock])) return false;
    return WriteCommandValue(6);
}

// The value stays in the command word whether the write succeeds or not.
bool Serial::WriteCommandValue(std::uint16_t value) {
    StoreWord(DeviceParams[DeviceParamWord::Command], value);
    return WriteRegister(kCommandRegister, DeviceParams[DeviceParamWord::Command]);
}

// The time frame carries the moment of the write, not of the operator's click. When that
// moment falls on another day than the date just written (a click just before midnight), the
// date is written again first, so that the recorder keeps the date and time of one moment.
bool Serial::RefreshClock() {
    const std::uint16_t* written = &DeviceParams[DeviceParamWord::Clock + 4]; // day, month, year
    ClockRecord now = ClockFromDateTime(Timing.Clock());
    if (!SameDay(now, written)) {
        SetClock(now); // Lock is re-entrant for this thread
        if (!WriteRegister(kDateRegister, *written)) return false;
        // Only the time moved on while the date was written, barring another midnight.
        const ClockRecord later = ClockFromDateTime(Timing.Clock());
        if (SameDay(later, written)) now = later;
    }
    SetClock(now);
    return true;
}

void Serial::Post(int code) {
    plat::PostMessage(NotifyWindow, plat::WM_USER,
                      static_cast<plat::WPARAM>(static_cast<std::intptr_t>(code)), 0);
}

bool Serial::BlockRead(std::uint16_t first, std::uint16_t* dest, int count, int tries) {
    for (int done = 0; done < count;) {
        const auto n = static_cast<std::uint16_t>(std::min(kMaxRegistersPerRead, count - done));
        const auto reg = static_cast<std::uint16_t>(first + done);
        bool ok = false;
        for (int t = 0; t < tries && !ok; ++t)
            ok = ReadRegisters(reg, dest + done, n);
        if (!ok) return false;
        done += n;
    }
    return true;
}

bool Serial::ReadRegisters(std::uint16_t first, std::uint16_t* dest, std::uint16_t count) {
    // Words are taken from Frame bytes 3 + 2i, 4 + 2i; keep them inside Frame.
    if (3 + 2 * count > FrameSize) return false;
    BuildLinkFrame(kReadRegisters, first, count);
    FinishLinkFrame();
    if (!Transact({kReadRegisters, 3 + 2 * count + 2, true})) return false;
    for (int i = 0; i < count; ++i)
        StoreWord(dest[i], FrameWord(3 + 2 * i));
    return true;
}

bool Serial::WriteRegister(std::uint16_t reg, const std::uint16_t& value) {
    BuildLinkFrame(kWriteRegister, reg, value);
    PutClockBytes(reg);
    FinishLinkFrame();
    return Transact({kWriteRegister});
}

bool Serial::WriteRegisters(std::uint16_t first, const std::uint16_t* source, std::uint16_t count) {
    if (9 + 2 * count > FrameSize) return false;
    TxLength = 0;
    PutByte(SlaveAddress);
    PutByte(kWriteRegisters);
    PutWord(first);
    PutWord(count);
    PutByte(static_cast<std::uint8_t>(2 * count));
    for (int i = 0; i < count; ++i)
        PutWord(source[i]);
    PutWord(Crc16(Frame, static_cast<std::uint16_t>(TxLength)));
    return Transact({kWriteRegisters});
}

bool Serial::ReadDiagnostics() {
    BuildLinkFrame(kDiagnostics, kDiagSubFunction, kDiagData);
    FinishLinkFrame();
    // The diagnostic word is reply bytes 4 and 5.
    if (!Transact({kDiagnostics, 6 + 2})) return false;
    DiagWord = FrameWord(4);
    DiagHigh = Frame[4];
    const std::uint8_t low = Frame[5];
    const std::uint8_t masks[5] = {0x10, 0x08, 0x04, 0x02, 0x01};
    for (int i = 0; i < 5; ++i)
        DiagFlags[i] = static_cast<std::uint8_t>(low & masks[i]);
    return true;
}

bool Serial::Transact(const ReplyForm& form) {
    Host.EnableTimer1();
    // What is still held answers an earlier exchange (a late answer to its resend, say); taken
    // with this request's reply it would be read as this request's values. The late answer to
    // this frame's first send, found at the second test, does answer this request.
    Host.RxBuffer().Clear();
    const auto length = static_cast<std::uint32_t>(TxLength);
    if (Host.PutBlock(Frame, length) < length) return false;
    ++FramesSent;
    if (ReceiveReply(false, form)) return true;
    plat::Sleep(Timing.ResendPause);
    if (Host.PutBlock(Frame, length) == length) ++FramesSent;
    return ReceiveReply(true, form);
}

// A reply of another form is some other request's answer or a cut-off one: it counts as no
// reply and has no link-error code of its own. Only a write's reply keeps the recorder's own
// form beyond its function code.
bool Serial::Fits(const std::uint8_t* reply, std::int32_t n, const ReplyForm& form) {
    if (reply[1] != form.Function) return false;
    return form.Exact ? n == form.Length : n >= form.Length;
}

bool Serial::ReceiveReply(bool post, const ReplyForm& form) {
    // The full wait, even when the reply is complete early: the recorder expects this pace.
    if (Timing.ReplyStep == 0) {
        plat::Sleep(Timing.ReplyWait);
    } else {
        for (plat::DWORD slept = 0; slept < Timing.ReplyWait; slept += Timing.ReplyStep) {
            plat::Sleep(std::min(Timing.ReplyStep, Timing.ReplyWait - slept));
            if (Timing.ReplyComplete && Timing.ReplyComplete(FramesSent, Host.RxBuffer().Count()))
                break;
        }
    }
    std::uint8_t reply[ReceiveBuffer::Capacity];
    const std::int32_t n = Host.RxBuffer().Take(reply);
    if (n < 4) return false;
    const std::uint16_t crc = Crc16(reply, static_cast<std::uint16_t>(n - 2));
    int failure = 0;
    if (reply[n - 2] != HighByte(crc) || reply[n - 1] != LowByte(crc)) {
        failure = ResultLinkCrc;
    } else if (reply[0] != SlaveAddress) {
        failure = ResultLinkOtherAddress;
    } else if (reply[1] & 0x80) {
        failure = ExceptionResult(reply[2]);
    }
    if (failure != 0) {
        if (post) Post(failure);
        return false;
    }
    if (!Fits(reply, n, form)) return false;
    std::memcpy(Frame, reply, static_cast<std::size_t>(n));
    return true;
}

// Functions 3, 6 and 8: the link constant follows the four field bytes, and its last two bytes
// make way for the CRC in FinishLinkFrame.
void Serial::BuildLinkFrame(std::uint8_t function, std::uint16_t field1, std::uint16_t field2) {
    TxLength = 0;
    PutByte(SlaveAddress);
    PutByte(function);
    PutWord(field1);
    PutWord(field2);
    for (std::uint8_t k : LinkConstant())
        PutByte(k);
}

// The clock frames carry three clock bytes in place of the value and K0.
void Serial::PutClockBytes(std::uint16_t reg) {
    int word = 0;
    if (reg == kTimeRegister)
        word = DeviceParamWord::Clock; // second, minute, hour
    else if (reg == kDateRegister)
        word = DeviceParamWord::Clock + 4; // day, month, year
    else
        return;
    for (int i = 0; i < 3; ++i)
        Frame[4 + i] = LowByte(DeviceParams[word + i]);
}

void Serial::FinishLinkFrame() {
    const std::uint16_t crc = Crc16(Frame, static_cast<std::uint16_t>(TxLength));
    PutWord(crc);
    Frame[7] = HighByte(crc);
    Frame[8] = LowByte(crc);
}

void Serial::PutByte(std::uint8_t b) {
    Frame[TxLength++] = b;
}

void Serial::PutWord(std::uint16_t w) {
    PutByte(HighByte(w));
    PutByte(LowByte(w));
}

std::uint16_t Serial::FrameWord(int offset) const {
    return static_cast<std::uint16_t>((Frame[offset] << 8) | Frame[offset + 1]);
}
