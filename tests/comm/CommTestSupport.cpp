#include "CommTestSupport.h"

#include <algorithm>
#include <chrono>
#include <unistd.h>

// ---- ScriptedLine -------------------------------------------------------------------------

bool ScriptedLine::Fail(plat::DWORD error) {
    plat::SetLastError(error);
    return false;
}

void ScriptedLine::Feed(const std::string& bytes) {
    std::lock_guard lock(m_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    events_ |= plat::EV_RXCHAR;
}

void ScriptedLine::Raise(plat::DWORD events) {
    std::lock_guard lock(m_);
    events_ |= events;
}

void ScriptedLine::SetModemStatus(plat::DWORD status, int delayMs) {
    std::lock_guard lock(m_);
    modem_ = status;
    modemDelayMs_ = delayMs;
}

void ScriptedLine::HoldWrites(bool hold) {
    std::lock_guard lock(m_);
    holdWrites_ = hold;
}

void ScriptedLine::FailTransfers(bool fail) {
    std::lock_guard lock(m_);
    failTransfers_ = fail;
}

void ScriptedLine::SetReadHook(std::function<void()> hook) {
    std::lock_guard lock(m_);
    readHook_ = std::move(hook);
}

bool ScriptedLine::WaitFor(const std::function<bool()>& pred, int ms) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), pred);
}

bool ScriptedLine::GetCommState(plat::DCB& state) {
    std::lock_guard lock(m_);
    state = dcb;
    return true;
}

bool ScriptedLine::SetCommState(const plat::DCB& state) {
    std::lock_guard lock(m_);
    dcb = state;
    return true;
}

bool ScriptedLine::SetCommMask(plat::DWORD mask) {
    std::lock_guard lock(m_);
    mask_ = mask;
    masks.push_back(mask);
    maskChanged_ = true;
    return true;
}

// Events outside the mask are dropped, as the driver does.
bool ScriptedLine::TakeEvents(plat::DWORD& mask) {
    mask = events_ & mask_;
    events_ = 0;
    return mask != 0;
}

bool ScriptedLine::WaitCommEvent(plat::DWORD& mask, plat::Overlapped&) {
    std::lock_guard lock(m_);
    maskChanged_ = false;
    return TakeEvents(mask) || Fail(plat::ERROR_IO_PENDING);
}

// Looks every 2 ms: a test line need not be quick to wake.
bool ScriptedLine::GetCommEventResult(plat::Overlapped& ov, plat::DWORD& mask) {
    for (;;) {
        {
            std::lock_guard lock(m_);
            if (maskChanged_) {
                maskChanged_ = false;
                mask = 0;
                return true;
            }
            if (TakeEvents(mask)) return true;
        }
        if (ov.Pause(2)) return Fail(plat::ERROR_OPERATION_ABORTED);
    }
}

bool ScriptedLine::ReadFile(void* buffer, plat::DWORD n, plat::DWORD& got) {
    got = 0;
    std::function<void()> hook;
    {
        std::lock_guard lock(m_);
        ++readCalls;
        if (failTransfers_) return Fail(plat::ERROR_DEVICE_NOT_CONNECTED);
        got = static_cast<plat::DWORD>(std::min<std::size_t>(n, input_.size()));
        std::copy_n(input_.begin(), got, static_cast<std::uint8_t*>(buffer));
        input_.erase(input_.begin(), input_.begin() + got);
        readSizes.push_back(got);
        hook = readHook_;
    }
    cv_.notify_all();
    if (hook) hook();
    return true;
}

// While writes are held: waits until they are let go, cancelled, purged or out of time.
plat::DWORD ScriptedLine::HoldWrite(std::unique_lock<std::mutex>& lock, plat::Overlapped* ov,
                                    plat::DWORD holdMs) {
    const unsigned aborts = aborts_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
    writeInProgress = true;
    cv_.notify_all();
    plat::DWORD error = 0;
    while (holdWrites_ && !error) {
        lock.unlock();
        const bool cancelled = ov ? ov->Pause(2) : (usleep(2000), false);
        lock.lock();
        if (cancelled || aborts_ != aborts)
            error = plat::ERROR_OPERATION_ABORTED;
        else if (holdMs != plat::INFINITE && std::chrono::steady_clock::now() >= deadline)
            error = plat::ERROR_SEM_TIMEOUT;
    }
    writeInProgress = false;
    cv_.notify_all();
    return error;
}

bool ScriptedLine::WriteFile(const void* buffer, plat::DWORD n, plat::DWORD& done,
                             plat::Overlapped* ov, plat::DWORD holdMs) {
    done = 0;
    std::unique_lock lock(m_);
    ++writeCalls;
    if (failTransfers_) return Fail(plat::ERROR_DEVICE_NOT_CONNECTED);
    if (const plat::DWORD error = HoldWrite(lock, ov, holdMs)) return Fail(error);
    written.append(static_cast<const char*>(buffer), n);
    writeSizes.push_back(n);
    done = n;
    cv_.notify_all();
    return true;
}

bool ScriptedLine::ClearCommError(plat::DWORD& errors, plat::COMSTAT& stat) {
    std::lock_guard lock(m_);
    ++clearErrorCalls;
    errors = 0;
    stat.cbInQue = static_cast<plat::DWORD>(input_.size());
    stat.cbOutQue = 0;
    return true;
}

bool ScriptedLine::PurgeComm(plat::DWORD flags) {
    std::lock_guard lock(m_);
    if (flags & plat::PURGE_RXCLEAR) input_.clear();
    if (flags & plat::PURGE_TXABORT) ++aborts_;
    return true;
}

bool ScriptedLine::EscapeCommFunction(plat::DWORD function) {
    std::lock_guard lock(m_);
    escapes.push_back(function);
    return true;
}

bool ScriptedLine::GetCommModemStatus(plat::DWORD& status) {
    int delayMs;
    {
        std::lock_guard lock(m_);
        status = modem_;
        delayMs = modemDelayMs_;
    }
    if (delayMs) usleep(static_cast<useconds_t>(delayMs) * 1000);
    return true;
}

// ---- TCommPortTestPeer --------------------------------------------------------------------

void TCommPortTestPeer::StopWriter(TCommPort& p) {
    p.WriteThread->Terminate();
    p.WriteThread->Overlapped.Cancel();
    p.WriteEvent.Set();
    p.WriteThread->WaitFor();
    p.WriteThread.reset();
    p.WriteEvent.Reset();
}

// ---- CommTest -----------------------------------------------------------------------------

void CommTest::SetUp() {
    plat::MainThread::Bind();
    plat::MainThread::DiscardPending();
    oldHook_ = plat::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, unsigned flags) {
            boxes.push_back({text, caption, flags});
            return plat::IDOK;
        });
}

void CommTest::TearDown() {
    plat::SetMessageBoxHook(oldHook_);
    plat::SetSerialDeviceFactory({});
    plat::MainThread::DiscardPending();
}

void CommTest::UseScriptedLines() {
    next_ = std::make_unique<ScriptedLine>();
    line_ = next_.get();
    plat::SetSerialDeviceFactory([this](int) -> std::unique_ptr<plat::SerialDevice> {
        if (!next_) next_ = std::make_unique<ScriptedLine>();
        line_ = next_.get();
        return std::move(next_);
    });
}

void CommTest::FastTiming(TCommPort& port) {
    port.Timing.StatusPauseMs = 5;
    port.Timing.HeldWriteMs = 200;
    port.Timing.FailPauseMs = 20;
}

void CommTest::Pump(int ms) {
    plat::MainThread::ProcessUntil([] { return false; }, static_cast<plat::DWORD>(ms));
}

bool CommTest::PumpUntil(const std::function<bool()>& done, int ms) {
    return plat::MainThread::ProcessUntil(done, static_cast<plat::DWORD>(ms));
}
