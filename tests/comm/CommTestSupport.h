// What the comm tests share: a scripted serial device (modem lines, break, line errors and
// held writes that a pseudo-terminal cannot produce) and fixtures that act as the GUI thread
// and record message boxes.
#pragma once

#include "comm/CommPort.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/SerialDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// A byte pattern whose period is no divisor of any ring size, so a misplaced piece shows.
inline std::string Pattern(std::size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 13 + static_cast<std::size_t>(seed) + i / 251) & 0xFF);
    return s;
}

// What the component asked of a scripted line.
struct LineRecord {
    std::string written;
    std::vector<plat::DWORD> writeSizes, readSizes, masks, escapes;
    int readCalls = 0, writeCalls = 0, clearErrorCalls = 0;
    bool writeInProgress = false;
    plat::DCB dcb;
};

// The device side of a scripted line; the test scripts it through the public members.
class ScriptedLine : public plat::SerialDevice {
public:
    std::atomic<plat::DWORD> events{0}; // comm events raised, taken by the next wait
    std::atomic<plat::DWORD> modem{0};
    std::atomic<int> modemDelayMs{0}; // every modem-status reading takes this long
    std::atomic<bool> holdWrites{false};

    void Feed(const std::string& bytes) { // bytes arrive: EV_RXCHAR
        Locked([&] { input_.insert(input_.end(), bytes.begin(), bytes.end()); });
        events |= plat::EV_RXCHAR;
    }
    // Runs inside ReadFile after the bytes were taken (without the line's lock).
    void SetReadHook(std::function<void()> hook) {
        Locked([&] { readHook_ = std::move(hook); });
    }
    LineRecord Record() {
        std::lock_guard lock(m_);
        return rec_;
    }

    bool SetupComm(plat::DWORD, plat::DWORD) override { return true; }
    bool SetCommTimeouts(const plat::COMMTIMEOUTS&) override { return true; }
    bool GetCommState(plat::DCB& state) override {
        return Locked([&] { state = rec_.dcb; });
    }
    bool SetCommState(const plat::DCB& state) override {
        return Locked([&] { rec_.dcb = state; });
    }
    bool EscapeCommFunction(plat::DWORD f) override {
        return Locked([&] { rec_.escapes.push_back(f); });
    }
    bool SetCommMask(plat::DWORD mask) override {
        return Locked([&] {
            rec_.masks.push_back(mask_ = mask);
            maskChanged_ = true;
        });
    }
    // Events outside the mask are dropped, as the driver does.
    bool WaitCommEvent(plat::DWORD& mask, plat::Overlapped&) override {
        std::lock_guard lock(m_);
        maskChanged_ = false;
        mask = events.exchange(0) & mask_;
        return mask != 0 || Fail(plat::ERROR_IO_PENDING);
    }
    // Looks every 2 ms: a test line need not be quick to wake.
    bool GetCommEventResult(plat::Overlapped& ov, plat::DWORD& mask) override {
        for (;;) {
            {
                std::lock_guard lock(m_);
                mask = maskChanged_ ? 0 : events.exchange(0) & mask_;
                if (std::exchange(maskChanged_, false) || mask) return true;
            }
            if (ov.Pause(2)) return Fail(plat::ERROR_OPERATION_ABORTED);
        }
    }
    bool ReadFile(void* buffer, plat::DWORD n, plat::DWORD& got) override {
        std::unique_lock lock(m_);
        ++rec_.readCalls;
        got = static_cast<plat::DWORD>(std::min<std::size_t>(n, input_.size()));
        std::copy_n(input_.begin(), got, static_cast<std::uint8_t*>(buffer));
        input_.erase(input_.begin(), input_.begin() + got);
        rec_.readSizes.push_back(got);
        const std::function<void()> hook = readHook_;
        lock.unlock();
        if (hook) hook();
        return true;
    }
    // While writes are held: waits until they are let go, cancelled, purged or out of time.
    bool WriteFile(const void* buffer, plat::DWORD n, plat::DWORD& done, plat::Overlapped* ov,
                   plat::DWORD holdMs) override {
        std::unique_lock lock(m_);
        done = 0;
        ++rec_.writeCalls;
        const unsigned aborts = aborts_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
        plat::DWORD error = 0;
        for (rec_.writeInProgress = true; holdWrites && !error;) {
            lock.unlock();
            const bool cancelled = ov ? ov->Pause(2) : (usleep(2000), false);
            lock.lock();
            if (cancelled || aborts_ != aborts)
                error = plat::ERROR_OPERATION_ABORTED;
            else if (holdMs != plat::INFINITE && std::chrono::steady_clock::now() >= deadline)
                error = plat::ERROR_SEM_TIMEOUT;
        }
        rec_.writeInProgress = false;
        if (error) return Fail(error);
        rec_.written.append(static_cast<const char*>(buffer), n);
        rec_.writeSizes.push_back(done = n);
        return true;
    }
    bool ClearCommError(plat::DWORD& errors, plat::COMSTAT& stat) override {
        return Locked([&] {
            ++rec_.clearErrorCalls;
            errors = stat.cbOutQue = 0;
            stat.cbInQue = static_cast<plat::DWORD>(input_.size());
        });
    }
    bool PurgeComm(plat::DWORD flags) override {
        return Locked([&] {
            if (flags & plat::PURGE_RXCLEAR) input_.clear();
            aborts_ += (flags & plat::PURGE_TXABORT) != 0;
        });
    }
    bool GetCommModemStatus(plat::DWORD& status) override {
        status = modem;
        if (const int ms = modemDelayMs) usleep(static_cast<useconds_t>(ms) * 1000);
        return true;
    }

private:
    template <class F> bool Locked(F f) {
        std::lock_guard lock(m_);
        f();
        return true;
    }
    static bool Fail(plat::DWORD error) {
        plat::SetLastError(error);
        return false;
    }

    std::mutex m_;
    LineRecord rec_;
    std::deque<std::uint8_t> input_;
    plat::DWORD mask_ = 0;
    bool maskChanged_ = false;
    unsigned aborts_ = 0;
    std::function<void()> readHook_;
};

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

class CommTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::MainThread::Bind();
        plat::MainThread::DiscardPending();
        FastTiming(port);
        oldHook_ = plat::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned flags) {
                boxes.push_back({text, caption, flags});
                return plat::IDOK;
            });
    }
    void TearDown() override {
        port.ClosePort();
        plat::SetMessageBoxHook(oldHook_);
        plat::SetSerialDeviceFactory({});
        plat::MainThread::DiscardPending();
    }

    // Short waits so that tests run fast.
    static void FastTiming(TCommPort& port) {
        port.Timing.StatusPauseMs = 5;
        port.Timing.HeldWriteMs = 200;
        port.Timing.FailPauseMs = 20;
    }
    // Serve the GUI thread's queue for ms, or until done.
    static void Pump(int ms) {
        PumpUntil([] { return false; }, ms);
    }
    static bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
        return plat::MainThread::ProcessUntil(done, static_cast<plat::DWORD>(ms));
    }

    TCommPort port;
    std::vector<ShownBox> boxes;

private:
    plat::MessageBoxHook oldHook_;
};

// A component on scripted lines. Every OpenPort gets a fresh line, which the port owns until it
// closes; Line() is the latest (the first exists before the first open, to be scripted).
class ScriptedTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        next_ = std::make_unique<ScriptedLine>();
        line_ = next_.get();
        plat::SetSerialDeviceFactory([this](int) -> std::unique_ptr<plat::SerialDevice> {
            if (!next_) next_ = std::make_unique<ScriptedLine>();
            line_ = next_.get();
            return std::move(next_);
        });
    }
    ScriptedLine* Line() const { return line_; }
    // Serves the GUI thread's queue until the line's record satisfies done.
    bool UntilLine(const std::function<bool(const LineRecord&)>& done) {
        return PumpUntil([&] { return done(line_->Record()); });
    }

private:
    std::unique_ptr<ScriptedLine> next_;
    ScriptedLine* line_ = nullptr;
};
