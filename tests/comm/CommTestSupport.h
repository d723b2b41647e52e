// What the comm tests share: a scripted serial device (modem lines, break, line errors and
// held writes that a pseudo-terminal cannot produce), a narrow view into the component's rings
// and threads, and a fixture that acts as the GUI thread and records message boxes.
#pragma once

#include "comm/CommPort.h"
#include "comm/ThRead.h"
#include "comm/ThWrite.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/SerialDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The device side of a scripted line. The test feeds bytes, raises comm events, sets the modem
// status and can hold writes; everything the component asks is recorded.
class ScriptedLine : public plat::SerialDevice {
public:
    ScriptedLine();
    ~ScriptedLine() override;

    // Script side.
    void Feed(const std::string& bytes); // bytes arrive: EV_RXCHAR
    void Raise(plat::DWORD events);
    void SetModemStatus(plat::DWORD status);
    void HoldWrites(bool hold);
    void FailReads(bool fail);
    void FailWrites(bool fail);
    void FailSetupWith(plat::DWORD error);
    void FailEscapes(bool fail);
    void SetOutQueue(plat::DWORD count);
    // Called inside ReadFile after the bytes were taken, before it returns (without the lock).
    void SetReadHook(std::function<void()> hook);
    // Waits (up to ms) until pred holds under the line's lock.
    bool WaitFor(const std::function<bool()>& pred, int ms = 2000);

    // Recorded (read under Lock()).
    std::unique_lock<std::mutex> Lock() { return std::unique_lock(m_); }
    std::string written;
    std::vector<plat::DWORD> writeSizes;
    std::vector<plat::DWORD> readSizes;
    std::vector<plat::DWORD> masks;
    std::vector<plat::DWORD> escapes;
    std::vector<plat::DWORD> purges;
    std::vector<plat::DCB> states;
    int readCalls = 0;
    int writeCalls = 0;
    int clearErrorCalls = 0;
    int waitCalls = 0;
    bool writeInProgress = false;
    bool closed = false;
    plat::DCB dcb;

    // SerialDevice.
    bool SetupComm(plat::DWORD inQueue, plat::DWORD outQueue) override;
    bool GetCommState(plat::DCB& state) override;
    bool SetCommState(const plat::DCB& state) override;
    bool SetCommTimeouts(const plat::COMMTIMEOUTS& timeouts) override;
    bool SetCommMask(plat::DWORD mask) override;
    bool WaitCommEvent(plat::DWORD& mask, plat::Overlapped& ov) override;
    bool GetCommEventResult(plat::Overlapped& ov, plat::DWORD& mask) override;
    bool ReadFile(void* buffer, plat::DWORD n, plat::DWORD& got) override;
    bool WriteFile(const void* buffer, plat::DWORD n, plat::DWORD& written, plat::Overlapped* ov,
                   plat::DWORD holdMs) override;
    bool ClearCommError(plat::DWORD& errors, plat::COMSTAT& stat) override;
    bool PurgeComm(plat::DWORD flags) override;
    bool EscapeCommFunction(plat::DWORD function) override;
    bool GetCommModemStatus(plat::DWORD& status) override;

private:
    void Signal();

    std::mutex m_;
    std::condition_variable cv_;
    int wakeFd_;
    std::deque<std::uint8_t> input_;
    plat::DWORD events_ = 0;
    plat::DWORD mask_ = 0;
    bool waitPending_ = false;
    bool maskChanged_ = false;
    plat::DWORD modem_ = 0;
    bool holdWrites_ = false;
    bool failReads_ = false;
    bool failWrites_ = false;
    bool failEscapes_ = false;
    plat::DWORD setupError_ = 0;
    plat::DWORD outQueue_ = 0;
    unsigned aborts_ = 0;
    std::function<void()> readHook_;
};

// The component's insides that the ring tests need.
class TCommPortTestPeer {
public:
    static TRing& In(TCommPort& p) { return p.InRing; }
    static TRing& Out(TCommPort& p) { return p.OutRing; }
    static plat::Event& ReadEvent(TCommPort& p) { return p.ReadEvent; }
    static plat::Event& WriteEvent(TCommPort& p) { return p.WriteEvent; }
    static plat::Event& DataEvent(TCommPort& p) { return p.DataEvent; }
    static const plat::DCB& LineState(TCommPort& p) { return p.LineState; }
    // Places Head and Used as a test needs them (while the ring's consumer and producer idle).
    static void SetIn(TCommPort& p, std::uint32_t head, std::uint32_t used);
    static void SetOut(TCommPort& p, std::uint32_t head, std::uint32_t used);
    static void InState(TCommPort& p, std::uint32_t& head, std::uint32_t& used);
    static void OutState(TCommPort& p, std::uint32_t& head, std::uint32_t& used);
    // Stops one worker as the close would, leaving the rest running.
    static void StopReader(TCommPort& p);
    static void StopWriter(TCommPort& p);
};

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

class CommTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Every OpenPort of a component gets a fresh scripted line; Line() is the latest.
    void UseScriptedLines();
    std::shared_ptr<ScriptedLine> Line() const { return lines_.empty() ? nullptr : lines_.back(); }
    // Short waits so that tests run fast.
    static void FastTiming(TCommPort& port);

    // Serves the GUI thread's queue for ms, or until done.
    static void Pump(int ms);
    static bool PumpUntil(const std::function<bool()>& done, int ms = 3000);

    std::vector<ShownBox> boxes;

private:
    std::vector<std::shared_ptr<ScriptedLine>> lines_;
    bool firstTaken_ = false;
    plat::MessageBoxHook oldHook_;
};
