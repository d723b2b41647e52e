// A stand-in for the recorder: it keeps the registers the programs use, answers requests of
// functions 3, 6 (clock frames included), 8 and 16 in the recorder's frame forms, and can be
// told to misbehave. It can run on a file descriptor (the master side of a pseudo-terminal) in
// its own thread, or be driven frame by frame through Respond.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

enum class SimFault {
    None,
    NoReply,         // the request is taken but not answered
    WrongCrc,        // the reply's CRC does not match
    CrcLowFirst,     // the reply's CRC in Modbus RTU order, low byte first
    OtherAddress,    // a good reply from address 2
    Exception1,      // exception reply, code 1
    Exception2,      // exception reply, code 2
    Exception4,      // exception reply, code 4
    SplitReply,      // a good reply written in three pieces with pauses between them
    LateReply,       // a good reply written after the late delay
    HeldReply,       // a good reply held back until the next request, then written before its
                     // answer: late for its own exchange whatever the timing
    TrailingGarbage, // a good reply followed by three stray bytes
    ShortReply,      // a read's reply cut after its first word, with a CRC that matches
};

// One answer as the line would carry it.
struct SimReply {
    std::vector<std::uint8_t> Bytes; // empty: no answer
    int Pieces = 1;
    unsigned DelayMs = 0;
    bool Held = false;
};

// How replies go onto the line. Without a line speed a reply is handed over in as few writes
// as the pseudo-terminal takes. With one, it is written ChunkBytes at a time, each chunk
// followed by the time its bits take on the line (10 bits a byte), as a recorder's UART sends
// byte by byte, through a FIFO in bursts, or through a USB adapter in packets. The recorder
// starts its reply TurnaroundMs after the request has come in.
struct SimPace {
    unsigned Baud = 0;
    unsigned ChunkBytes = 1;
    unsigned TurnaroundMs = 0;
};

class RecorderSim {
public:
    static constexpr std::uint8_t Address = 1;
    static constexpr std::uint16_t MeasurementFirst = 0x0000;
    static constexpr std::uint16_t MeasurementLast = 0x00E5;
    static constexpr std::uint16_t ParamFirst = 0x0400;
    static constexpr std::uint16_t ParamLast = 0x0414;

    RecorderSim();
    ~RecorderSim();
    RecorderSim(const RecorderSim&) = delete;
    RecorderSim& operator=(const RecorderSim&) = delete;

    // Answers requests arriving on fd (not owned) from a thread of its own until Stop.
    void Serve(int fd);
    void Stop();

    // Handles one request frame as the recorder would; what the reply looks like on the line
    // (pieces, delay) is left to the caller. A frame it cannot take gives no reply.
    SimReply Respond(const std::uint8_t* frame, std::size_t length);

    // Registers. Reads and writes outside the two register ranges are ignored (0 is read).
    void SetRegister(std::uint16_t reg, std::uint16_t value);
    std::uint16_t Register(std::uint16_t reg) const;
    // Measured value k in registers 2k (high half) and 2k + 1 (low half).
    void SetMeasurement(int k, float value);
    void SetMeasurementBits(int k, std::uint32_t bits);
    void SetDiagnosticWord(std::uint16_t word);

    // Misbehaviour: queued faults apply to the next requests, one each, in order; the
    // persistent fault applies whenever the queue is empty.
    void QueueFault(SimFault fault, int times = 1);
    void SetPersistentFault(SimFault fault);
    void ClearFaults();
    void SetLateDelay(unsigned ms);
    void SetSplitPause(unsigned ms);
    void SetPace(const SimPace& pace);

    // What came in: well-formed requests addressed to anyone (whether answered or not) and
    // byte runs that were no request.
    int FramesReceived() const;
    int FramesReceived(std::uint8_t function) const;
    int BadFrames() const;
    std::vector<std::vector<std::uint8_t>> Frames() const;
    void ClearCounts();
    // Waits until at least n requests have come in; false on timeout.
    bool WaitForFrames(int n, unsigned timeoutMs) const;
    // For a link's reply wait: complete once this stand-in has dealt with as many requests as
    // the link sent since the hook was made, and the link holds at least the bytes written on
    // time for the last of them (a late answer is not waited for). One hook per link thread,
    // made before the thread sends anything.
    std::function<bool(std::uint32_t sent, std::int32_t held)> ReplyHook();

private:
    static std::uint16_t Crc(const std::uint8_t* data, std::size_t length);
    static std::size_t ExpectedLength(const std::vector<std::uint8_t>& buf);
    static bool InRange(std::uint16_t first, int count);
    bool Valid(const std::uint8_t* frame, std::size_t length) const;

    SimFault NextFault();
    std::vector<std::uint8_t> Answer(const std::uint8_t* frame, std::size_t length);
    std::vector<std::uint8_t> ReadReply(const std::uint8_t* frame);
    std::vector<std::uint8_t> WriteOneReply(const std::uint8_t* frame);
    std::vector<std::uint8_t> DiagnosticsReply(const std::uint8_t* frame);
    std::vector<std::uint8_t> WriteManyReply(const std::uint8_t* frame);
    static std::vector<std::uint8_t> Exception(std::uint8_t function, std::uint8_t code);
    static void AppendCrc(std::vector<std::uint8_t>& reply);
    SimReply Shape(std::vector<std::uint8_t> reply, SimFault fault) const;
    std::uint16_t& Slot(std::uint16_t reg);

    void ServeLoop(int fd);
    void TakeFrames(std::vector<std::uint8_t>& pending, bool silence, int fd);
    bool SendReply(int fd, const SimReply& reply);
    bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t length);
    bool WritePaced(int fd, const std::uint8_t* bytes, std::size_t length, const SimPace& pace);
    bool PauseFor(unsigned ms);
    void Answered(std::size_t onTimeBytes);

    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::array<std::uint16_t, MeasurementLast - MeasurementFirst + 1> measurements_{};
    std::array<std::uint16_t, ParamLast - ParamFirst + 1> params_{};
    std::uint16_t diagWord_ = 0;
    std::uint16_t outside_ = 0; // target of writes outside the ranges
    std::deque<SimFault> queued_;
    SimFault persistent_ = SimFault::None;
    unsigned lateDelayMs_ = 500;
    unsigned splitPauseMs_ = 20;
    SimPace pace_;
    std::vector<std::uint8_t> held_; // serving thread only
    std::vector<std::vector<std::uint8_t>> frames_;
    int badFrames_ = 0;
    std::uint32_t answered_ = 0; // requests dealt with, answered or not
    std::size_t onTime_ = 0;     // bytes written on time for the last of them

    std::atomic<bool> stop_{false};
    std::thread thread_;
};
