#include "CommTestSupport.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

// ---- ScriptedLine -------------------------------------------------------------------------

ScriptedLine::ScriptedLine() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ScriptedLine::~ScriptedLine() {
    close(wakeFd_);
}

void ScriptedLine::Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof one);
    cv_.notify_all();
}

void ScriptedLine::Feed(const std::string& bytes) {
    std::lock_guard lock(m_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    events_ |= plat::EV_RXCHAR;
    Signal();
}

void ScriptedLine::Raise(plat::DWORD events) {
    std::lock_guard lock(m_);
    events_ |= events;
    Signal();
}

void ScriptedLine::SetModemStatus(plat::DWORD status) {
    std::lock_guard lock(m_);
    modem_ = status;
}

void ScriptedLine::HoldWrites(bool hold) {
    std::lock_guard lock(m_);
    holdWrites_ = hold;
    Signal();
}

void ScriptedLine::FailReads(bool fail) {
    std::lock_guard lock(m_);
    failReads_ = fail;
}

void ScriptedLine::FailWrites(bool fail) {
    std::lock_guard lock(m_);
    failWrites_ = fail;
}

void ScriptedLine::FailSetupWith(plat::DWORD error) {
    std::lock_guard lock(m_);
    setupError_ = error;
}

void ScriptedLine::FailEscapes(bool fail) {
    std::lock_guard lock(m_);
    failEscapes_ = fail;
}

void ScriptedLine::SetOutQueue(plat::DWORD count) {
    std::lock_guard lock(m_);
    outQueue_ = count;
}

void ScriptedLine::SetReadHook(std::function<void()> hook) {
    std::lock_guard lock(m_);
    readHook_ = std::move(hook);
}

bool ScriptedLine::WaitFor(const std::function<bool()>& pred, int ms) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), pred);
}

bool ScriptedLine::SetupComm(plat::DWORD, plat::DWORD) {
    std::lock_guard lock(m_);
    if (!setupError_) return true;
    plat::SetLastError(setupError_);
    return false;
}

bool ScriptedLine::GetCommState(plat::DCB& state) {
    std::lock_guard lock(m_);
    state = dcb;
    return true;
}

bool ScriptedLine::SetCommState(const plat::DCB& state) {
    std::lock_guard lock(m_);
    dcb = state;
    states.push_back(state);
    return true;
}

bool ScriptedLine::SetCommTimeouts(const plat::COMMTIMEOUTS&) {
    return true;
}

bool ScriptedLine::SetCommMask(plat::DWORD mask) {
    std::lock_guard lock(m_);
    mask_ = mask;
    masks.push_back(mask);
    if (waitPending_) maskChanged_ = true;
    Signal();
    return true;
}

bool ScriptedLine::WaitCommEvent(plat::DWORD& mask, plat::Overlapped&) {
    std::lock_guard lock(m_);
    ++waitCalls;
    if (const plat::DWORD ev = events_ & mask_) {
        events_ = 0;
        mask = ev;
        return true;
    }
    events_ = 0;
    waitPending_ = true;
    plat::SetLastError(plat::ERROR_IO_PENDING);
    return false;
}

bool ScriptedLine::GetCommEventResult(plat::Overlapped& ov, plat::DWORD& mask) {
    for (;;) {
        std::uint64_t count;
        [[maybe_unused]] ssize_t r = read(wakeFd_, &count, sizeof count);
        {
            std::lock_guard lock(m_);
            if (maskChanged_ || (events_ & mask_)) {
                mask = maskChanged_ ? 0 : events_ & mask_;
                events_ = 0;
                maskChanged_ = false;
                waitPending_ = false;
                return true;
            }
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {ov.Fd(), POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[1].revents) {
            std::lock_guard lock(m_);
            waitPending_ = false;
            plat::SetLastError(plat::ERROR_OPERATION_ABORTED);
            return false;
        }
    }
}

bool ScriptedLine::ReadFile(void* buffer, plat::DWORD n, plat::DWORD& got) {
    got = 0;
    std::function<void()> hook;
    {
        std::lock_guard lock(m_);
        ++readCalls;
        if (failReads_) {
            plat::SetLastError(plat::ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        const auto take = static_cast<plat::DWORD>(std::min<std::size_t>(n, input_.size()));
        std::copy_n(input_.begin(), take, static_cast<std::uint8_t*>(buffer));
        input_.erase(input_.begin(), input_.begin() + take);
        got = take;
        readSizes.push_back(take);
        hook = readHook_;
    }
    cv_.notify_all();
    if (hook) hook();
    return true;
}

bool ScriptedLine::WriteFile(const void* buffer, plat::DWORD n, plat::DWORD& done,
                             plat::Overlapped* ov, plat::DWORD holdMs) {
    done = 0;
    std::unique_lock lock(m_);
    ++writeCalls;
    if (failWrites_) {
        plat::SetLastError(plat::ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
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
    if (error) {
        plat::SetLastError(error);
        return false;
    }
    written.append(static_cast<const char*>(buffer), n);
    writeSizes.push_back(n);
    done = n;
    return true;
}

bool ScriptedLine::ClearCommError(plat::DWORD& errors, plat::COMSTAT& stat) {
    std::lock_guard lock(m_);
    ++clearErrorCalls;
    errors = 0;
    stat.cbInQue = static_cast<plat::DWORD>(input_.size());
    stat.cbOutQue = outQueue_;
    return true;
}

bool ScriptedLine::PurgeComm(plat::DWORD flags) {
    std::lock_guard lock(m_);
    purges.push_back(flags);
    if (flags & plat::PURGE_RXCLEAR) input_.clear();
    if (flags & plat::PURGE_TXABORT) ++aborts_;
    cv_.notify_all();
    return true;
}

bool ScriptedLine::EscapeCommFunction(plat::DWORD function) {
    std::lock_guard lock(m_);
    escapes.push_back(function);
    if (!failEscapes_) return true;
    plat::SetLastError(plat::ERROR_GEN_FAILURE);
    return false;
}

bool ScriptedLine::GetCommModemStatus(plat::DWORD& status) {
    std::lock_guard lock(m_);
    status = modem_;
    return true;
}

// ---- TCommPortTestPeer --------------------------------------------------------------------

void TCommPortTestPeer::SetIn(TCommPort& p, std::uint32_t head, std::uint32_t used) {
    plat::CriticalSectionLock lock(p.InLock);
    p.InRing.Head = head;
    p.InRing.Used.store(used);
}

void TCommPortTestPeer::SetOut(TCommPort& p, std::uint32_t head, std::uint32_t used) {
    plat::CriticalSectionLock lock(p.OutLock);
    p.OutRing.Head = head;
    p.OutRing.Used.store(used);
}

void TCommPortTestPeer::InState(TCommPort& p, std::uint32_t& head, std::uint32_t& used) {
    plat::CriticalSectionLock lock(p.InLock);
    head = p.InRing.Head;
    used = p.InRing.Used.load();
}

void TCommPortTestPeer::OutState(TCommPort& p, std::uint32_t& head, std::uint32_t& used) {
    plat::CriticalSectionLock lock(p.OutLock);
    head = p.OutRing.Head;
    used = p.OutRing.Used.load();
}

void TCommPortTestPeer::StopReader(TCommPort& p) {
    p.ReadThread->Terminate();
    p.ReadThread->Overlapped.Cancel();
    p.ReadEvent.Set();
    p.ReadThread->WaitFor();
    p.ReadThread.reset();
    p.ReadEvent.Reset();
}

void TCommPortTestPeer::StopWriter(TCommPort& p) {
    p.WriteThread->Terminate();
    p.WriteThread->Overlapped.Cancel();
    p.WriteEvent.Set();
    p.WriteThread->WaitFor();
    p.WriteThread.reset();
    p.WriteEvent.Reset();
}

// ---- CommTest -----------------------------------------------------------------------------

namespace {

// Forwards to a line that outlives the component's handle, so a test can look at what the
// device saw after the port closed.
class LineHandle : public plat::SerialDevice {
public:
    explicit LineHandle(std::shared_ptr<ScriptedLine> line) : line_(std::move(line)) {}
    ~LineHandle() override {
        auto lock = line_->Lock();
        line_->closed = true;
    }
    bool SetupComm(plat::DWORD i, plat::DWORD o) override { return line_->SetupComm(i, o); }
    bool GetCommState(plat::DCB& d) override { return line_->GetCommState(d); }
    bool SetCommState(const plat::DCB& d) override { return line_->SetCommState(d); }
    bool SetCommTimeouts(const plat::COMMTIMEOUTS& t) override { return line_->SetCommTimeouts(t); }
    bool SetCommMask(plat::DWORD m) override { return line_->SetCommMask(m); }
    bool WaitCommEvent(plat::DWORD& m, plat::Overlapped& ov) override {
        return line_->WaitCommEvent(m, ov);
    }
    bool GetCommEventResult(plat::Overlapped& ov, plat::DWORD& m) override {
        return line_->GetCommEventResult(ov, m);
    }
    bool ReadFile(void* b, plat::DWORD n, plat::DWORD& got) override {
        return line_->ReadFile(b, n, got);
    }
    bool WriteFile(const void* b, plat::DWORD n, plat::DWORD& w, plat::Overlapped* ov,
                   plat::DWORD holdMs) override {
        return line_->WriteFile(b, n, w, ov, holdMs);
    }
    bool ClearCommError(plat::DWORD& e, plat::COMSTAT& s) override {
        return line_->ClearCommError(e, s);
    }
    bool PurgeComm(plat::DWORD f) override { return line_->PurgeComm(f); }
    bool EscapeCommFunction(plat::DWORD f) override { return line_->EscapeCommFunction(f); }
    bool GetCommModemStatus(plat::DWORD& s) override { return line_->GetCommModemStatus(s); }

private:
    std::shared_ptr<ScriptedLine> line_;
};

} // namespace

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
    // The first line exists before the first open, so a test can script it beforehand.
    lines_.push_back(std::make_shared<ScriptedLine>());
    firstTaken_ = false;
    plat::SetSerialDeviceFactory([this](int) -> std::unique_ptr<plat::SerialDevice> {
        if (firstTaken_) lines_.push_back(std::make_shared<ScriptedLine>());
        firstTaken_ = true;
        return std::make_unique<LineHandle>(lines_.back());
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
