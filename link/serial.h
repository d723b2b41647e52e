// The link thread: the one worker through which a program talks to the recorder. The GUI hands
// it one request code at a time; it runs the register exchanges of that request over the main
// form's port, keeps the recorder's parameter block and measurement registers, and reports the
// outcome as a result code posted to the main form's window.
#pragma once

#include "link/ReceiveBuffer.h"
#include "platform/DateTime.h"
#include "platform/Messages.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <array>
#include <cstdint>
#include <functional>

// Codes the GUI hands to Serial::PostCommand.
enum SerialRequestCode : std::int8_t {
    RequestStop = 1,
    RequestReadParams = 2,
    RequestReadClock = 4,
    RequestSetClock = 6,
    RequestWriteCommands = 8,
    RequestReadMeasurements = 10,
    RequestWriteNumber = 12,
    RequestWriteOption = 14,
    RequestWriteCommand = 16,
    RequestDiagnostics = 18,
    RequestWriteCommandNoResult = 21,
    RequestReadParamsTwice = 22,
};

// The WParam of the WM_USER notification: the request code on success, mostly code + 1 on
// failure, and the link-error codes that may precede a failure.
enum SerialResultCode : std::int8_t {
    ResultStopped = 1,
    ResultParamsRead = 2,
    ResultParamsFailed = 3,
    ResultClockRead = 4,
    ResultClockReadFailed = 5,
    ResultClockSet = 6,
    ResultClockSetFailed = 7,
    ResultCommandsWritten = 8,
    ResultCommandsFailed = 9,
    ResultMeasurementsRead = 10,
    ResultMeasurementsFailed = 11,
    ResultNumberWritten = 12,
    ResultNumberFailed = 13,
    ResultOptionWritten = 14,
    ResultOptionFailed = 15,
    ResultCommandWritten = 16,
    ResultCommandFailed = 17,
    ResultDiagnosticsRead = 18,
    ResultDiagnosticsFailed = 20,
    ResultCommandNoResult = 21,
    ResultParamsReadTwice = 22,
    ResultLinkException = 100,    // exception reply, code other than 1 and 2
    ResultLinkBadFunction = 101,  // exception code 1
    ResultLinkBadRegister = 102,  // exception code 2
    ResultLinkCrc = 103,          // the reply's CRC does not match
    ResultLinkOtherAddress = 104, // the reply comes from another address
};

// Mirror of recorder registers 0x0400..0x0414; word i is register 0x0400 + i.
using DeviceParams = std::array<std::uint16_t, 21>;

namespace DeviceParamWord {
constexpr int FactoryNumber = 0;
constexpr int FirmwareVersion = 1;
constexpr int Command = 2;
constexpr int Option = 3;
constexpr int Clock = 10; // the seven words of a ClockRecord
constexpr int DayOfWeek = 13;
} // namespace DeviceParamWord

struct ClockRecord {
    std::uint16_t Second = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Hour = 0;
    std::uint16_t DayOfWeek = 0; // 1 = Monday .. 7 = Sunday
    std::uint16_t Day = 0;
    std::uint16_t Month = 0;
    std::uint16_t Year = 0; // year minus 2000
};

constexpr int MeasurementCount = 115;
constexpr int MeasurementRegisterCount = 2 * MeasurementCount;
using Measurements = std::array<float, MeasurementCount>;

// The measured values that both programs take by meaning, as indexes into Measurements, with the
// unit the recorder gives them in.
namespace MeasuredValue {
constexpr int Harmonics = 0;       // 51 values: the voltage of harmonic order n = 0..50, V
constexpr int SecondBlock = 51;    // the second block of 51 values by order
constexpr int DeviationU = 105;    // voltage deviation, %
constexpr int DeviationF = 108;    // frequency deviation, Hz
constexpr int DipDuration = 110;   // s
constexpr int DipDepth = 111;      // %
constexpr int SwellDuration = 113; // temporary overvoltage, s
constexpr int SwellFactor = 114;   // temporary overvoltage coefficient K_перU
} // namespace MeasuredValue

// The recorder gives an event's duration in seconds; the wizard judges it in milliseconds.
constexpr float EventMsPerSecond = 1000.0f;

// The diagnostics values kept after a good diagnostics reply, copied out as one set.
struct DiagnosticValues {
    std::int32_t DiagWord = 0;
    std::uint8_t DiagHigh = 0;
    // Reply byte 5 AND 0x10, 0x08, 0x04, 0x02, 0x01: each holds 0 or the bit itself.
    std::array<std::uint8_t, 5> DiagFlags{};
};

// What the link needs of the main form that owns the port and the receive buffer. Every call
// comes from the link thread while it holds its lock, so none of them may wait for the GUI
// thread: EnableTimer1 posts to it, RadioButton1Checked reads a stored state.
class SerialHost {
public:
    // The port's PutBlock: how many of the bytes it took (0 when the port is closed).
    virtual std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) = 0;
    virtual ReceiveBuffer& RxBuffer() = 0;
    virtual void EnableTimer1() = 0;
    // True when the clock is to be set from the PC clock.
    virtual bool RadioButton1Checked() const = 0;

protected:
    ~SerialHost() = default;
};

// Which program's request table the thread runs.
enum class SerialRequestSet { Service, Wizard };

struct SerialTiming {
    plat::DWORD ReplyWait = 3000;           // fixed wait after each send
    plat::DWORD ReplyStep = 100;            // the wait is slept in steps of this
    plat::DWORD ResendPause = 400;          // pause before the single resend
    plat::DWORD StopPause = 50;             // destructor: pause after posting the stop
    plat::DWORD StopLockWait = 5000;        // destructor: longest wait for the lock
    plat::TDateTime (*Clock)() = plat::Now; // the PC clock the recorder's clock is set from
    // Left empty by the programs, which always wait the whole ReplyWait. Tests whose recorder
    // stand-in knows when its answer to the sent-th frame of this thread is all held end the
    // wait there, so that a slow machine is not taken for a silent recorder.
    std::function<bool(std::uint32_t sent, std::int32_t held)> ReplyComplete{};
};

class Serial : public plat::TThread {
public:
    Serial(plat::HWND notifyWindow, SerialHost& host,
           SerialRequestSet requestSet = SerialRequestSet::Service,
           const SerialTiming& timing = SerialTiming{});
    ~Serial() override;

    // Blocks while a request runs. Codes are not queued: a later code replaces one the thread
    // has not taken yet.
    void PostCommand(SerialRequestCode code);

    // Service program: data for the clock and write requests, stored under the lock.
    void SetClock(const ClockRecord& clock);
    void SetWriteValues(std::uint16_t number, std::uint16_t command, std::uint16_t option);
    void GetConfig(::DeviceParams& dest);
    void GetDiagnostics(DiagnosticValues& dest);

    // Decoded under the lock, rounded after releasing it.
    void GetMeasurements(Measurements& dest);

    // Wizard: identity words read without the lock, after result 2.
    std::uint16_t GetSerialNumber() const;
    std::uint16_t GetFirmwareVersion() const;
    void GetSignalResults(float& deviationU, float& deviationF, std::array<float, 51>& harmonics,
                          std::array<float, 51>& second);
    void GetEventResults(bool overvoltage, float& duration, float& level);

    static float RoundTo(float x, int decimals);
    static std::uint16_t Crc16(const std::uint8_t* data, std::uint16_t length);
    // The clock record for a local date and time; the recorder counts 1 = Monday .. 7 = Sunday.
    static ClockRecord ClockFromDateTime(plat::TDateTime local);

protected:
    void Execute() override;

private:
    // Lets a test hold the lock from outside, as a GUI operation does.
    friend class SerialTestAccess;

    static constexpr int FrameSize = 512;

    bool Handles(std::int8_t code) const;
    void RunCommand();
    bool RunRequest(std::int8_t code);
    bool SetClockRequest();
    bool WriteCommandValue(std::uint16_t value);
    bool RefreshClock();
    void Post(int code);

    bool BlockRead(std::uint16_t first, std::uint16_t* dest, int count, int tries);
    bool ReadRegisters(std::uint16_t first, std::uint16_t* dest, std::uint16_t count);
    bool WriteRegister(std::uint16_t reg, const std::uint16_t& value);
    bool WriteRegisters(std::uint16_t first, const std::uint16_t* source, std::uint16_t count);
    bool ReadDiagnostics();
    // What a reply must be to answer the request in Frame: the request's function code, and
    // a length with the CRC that a read's reply meets exactly and any other reply at least.
    struct ReplyForm {
        std::uint8_t Function = 0;
        std::int32_t Length = 4;
        bool Exact = false;
    };
    bool Transact(const ReplyForm& form);
    bool ReceiveReply(bool post, const ReplyForm& form);
    static bool Fits(const std::uint8_t* reply, std::int32_t n, const ReplyForm& form);

    void BuildLinkFrame(std::uint8_t function, std::uint16_t field1, std::uint16_t field2);
    void PutClockBytes(std::uint16_t reg);
    void FinishLinkFrame();
    void PutByte(std::uint8_t b);
    void PutWord(std::uint16_t w);
    std::uint16_t FrameWord(int offset) const;

    plat::HWND NotifyWindow;
    plat::Mutex Lock;
    plat::Event Wake{false};
    std::uint8_t SlaveAddress = 1;
    std::int8_t Command = 0;
    ::DeviceParams DeviceParams{};
    std::array<std::uint16_t, MeasurementRegisterCount> MeasurementRegisters{};
    std::int32_t TxLength = 0;
    std::uint32_t FramesSent = 0; // frames the port took, resends included
    std::uint8_t Frame[FrameSize] = {};
    std::int32_t DiagWord = 0;
    std::uint8_t DiagHigh = 0;
    std::array<std::uint8_t, 5> DiagFlags{};

    SerialHost& Host;
    const SerialRequestSet RequestSet;
    const SerialTiming Timing;
};
