// What the comm tests share: a scripted serial device (modem lines, break, line errors and
// held writes that a pseudo-terminal cannot produce), a narrow view into the component, and a
// fixture that acts as the GUI thread and records message boxes.
#pragma once

#include "comm/CommPort.h"
#include "comm/ThWrite.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/SerialDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The device side of a scripted line. The test feeds bytes, raises comm events, sets the modem
// status and can hold or fail the transfers; what the component asks is recorded.
class ScriptedLine : public plat::SerialDevice {
public:
    void Feed(const std::string& bytes); // bytes arrive: EV_RXCHAR
    void Raise(plat::DWORD events);
    // delayMs holds every later modem-status reading that long.
    void SetModemStatus(plat::DWORD status, int delayMs = 0);
    void HoldWrites(bool hold);
    void FailTransfers(bool fail); // reads and writes fail, as on a pulled device
    // Runs inside ReadFile after the bytes were taken (without the line's lock).
    void SetReadHook(std::function<void()> hook);
    // Waits (up to ms) until pred holds under the line's lock.
    bool WaitFor(const std::function<bool()>& pred, int ms = 2000);

    // Recorded; read under Lock().
    std::unique_lock<std::mutex> Lock() { return std::unique_lock(m_); }
    std::string written;
    std::vector<plat::DWORD> writeSizes, readSizes, masks, escapes;
    int readCalls = 0, writeCalls = 0, clearErrorCalls = 0;
    bool writeInProgress = false;
    plat::DCB dcb;

    bool SetupComm(plat::DWORD, plat::DWORD) override { return true; }
    bool GetCommState(plat::DCB& state) override;
    bool SetCommState(const plat::DCB& state) override;
    bool SetCommTimeouts(const plat::COMMTIMEOUTS&) override { return true; }
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
    bool Fail(plat::DWORD error);
    bool TakeEvents(plat::DWORD& mask);
    plat::DWORD HoldWrite(std::unique_lock<std::mutex>& lock, plat::Overlapped* ov,
                          plat::DWORD holdMs);

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::uint8_t> input_;
    plat::DWORD events_ = 0, mask_ = 0, modem_ = 0;
    int modemDelayMs_ = 0;
    bool maskChanged_ = false, holdWrites_ = false, failTransfers_ = false;
    unsigned aborts_ = 0;
    std::function<void()> readHook_;
};

// The component's insides that the ring tests need.
class TCommPortTestPeer {
public:
    static TRing& In(TCommPort& p) { return p.InRing; }
    static TRing& Out(TCommPort& p) { return p.OutRing; }
    static plat::CriticalSection& InLock(TCommPort& p) { return p.InLock; }
    static plat::CriticalSection& OutLock(TCommPort& p) { return p.OutLock; }
    static plat::Event& WriteEvent(TCommPort& p) { return p.WriteEvent; }
    static const plat::DCB& LineState(TCommPort& p) { return p.LineState; }
    // Stops the writer as the close would, leaving the other threads running.
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

    // Every OpenPort of a component gets a fresh scripted line, which the port owns until it
    // closes; Line() is the latest (the first exists before the first open, to be scripted).
    void UseScriptedLines();
    ScriptedLine* Line() const { return line_; }
    // Short waits so that tests run fast.
    static void FastTiming(TCommPort& port);

    // Serves the GUI thread's queue for ms, or until done.
    static void Pump(int ms);
    static bool PumpUntil(const std::function<bool()>& done, int ms = 3000);

    std::vector<ShownBox> boxes;

private:
    std::unique_ptr<ScriptedLine> next_;
    ScriptedLine* line_ = nullptr;
    plat::MessageBoxHook oldHook_;
};
