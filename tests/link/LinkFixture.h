// Shared pieces of the link tests: a main-form stand-in that answers through the recorder
// simulator without any port, a window that records the notifications it receives, and a
// fixture that runs one request at a time.
#pragma once

#include "link/serial.h"
#include "platform/MainThread.h"
#include "platform/Messages.h"
#include "support/RecorderSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Codes = std::vector<int>;

// Hands each frame to the simulator (or to a replacement responder) and puts the answer into
// the receive buffer at once.
class FakeHost : public SerialHost {
public:
    using Responder = std::function<Bytes(const Bytes& frame)>;

    explicit FakeHost(RecorderSim& sim) : sim_(sim) {}

    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        std::lock_guard lock(m_);
        ++putCalls_;
        const std::uint32_t taken = std::min(length, accept_);
        if (taken == 0) return 0;
        const Bytes frame(data, data + length);
        sent_.push_back(frame);
        const Bytes reply = responder_ ? responder_(frame) : sim_.Respond(data, length).Bytes;
        rx_.Append(reply.data(), static_cast<std::int32_t>(reply.size()));
        return taken;
    }
    ReceiveBuffer& RxBuffer() override { return rx_; }
    void EnableTimer1() override { timerEnables_.fetch_add(1); }
    bool RadioButton1Checked() const override { return false; }

    // How many bytes of a frame the port takes: 0 is a closed port.
    void SetAccept(std::uint32_t n) {
        std::lock_guard lock(m_);
        accept_ = n;
    }
    void SetResponder(Responder r) {
        std::lock_guard lock(m_);
        responder_ = std::move(r);
    }
    std::vector<Bytes> Sent() const {
        std::lock_guard lock(m_);
        return sent_;
    }
    int PutCalls() const {
        std::lock_guard lock(m_);
        return putCalls_;
    }
    int TimerEnables() const { return timerEnables_.load(); }

private:
    RecorderSim& sim_;
    mutable std::mutex m_;
    ReceiveBuffer rx_;
    Responder responder_;
    std::vector<Bytes> sent_;
    int putCalls_ = 0;
    std::uint32_t accept_ = 0xFFFFFFFFu;
    std::atomic<int> timerEnables_{0};
};

// The main form's window as far as the link is concerned: the WM_USER codes in arrival order.
class NotifyLog {
public:
    NotifyLog() {
        plat::MainThread::Bind();
        hwnd_ = plat::RegisterWindow([this](plat::UINT msg, plat::WPARAM w, plat::LPARAM) {
            if (msg == plat::WM_USER)
                codes_.push_back(static_cast<int>(static_cast<std::intptr_t>(w)));
        });
    }
    ~NotifyLog() {
        plat::UnregisterWindow(hwnd_);
        plat::MainThread::DiscardPending();
    }
    NotifyLog(const NotifyLog&) = delete;
    NotifyLog& operator=(const NotifyLog&) = delete;

    plat::HWND Handle() const { return hwnd_; }

    // Serves the GUI queue until a message with this code has arrived.
    bool WaitFor(int code, plat::DWORD ms = 10000) {
        return plat::MainThread::ProcessUntil(
            [&] { return std::find(codes_.begin(), codes_.end(), code) != codes_.end(); }, ms);
    }
    // Serves the GUI queue for a while and returns every code so far.
    Codes Drain(plat::DWORD ms = 0) {
        plat::MainThread::ProcessUntil([] { return false; }, ms);
        plat::MainThread::ProcessPending();
        return codes_;
    }
    void Clear() { codes_.clear(); }

private:
    plat::HWND hwnd_ = 0;
    Codes codes_;
};

// Hands one code over and returns every code posted until `last` came.
inline Codes RunRequest(Serial& link, NotifyLog& log, int code, int last, plat::DWORD ms = 10000) {
    log.Drain(); // an earlier link's last message must not count for this request
    log.Clear();
    link.PostCommand(static_cast<SerialRequestCode>(code));
    EXPECT_TRUE(log.WaitFor(last, ms)) << "request " << code;
    return log.Drain();
}

// Function, register (or sub-function) and value fields of a request frame.
struct Req {
    int function;
    int reg;
    int value;
    bool operator==(const Req&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Req& r) {
    return os << '{' << r.function << ", " << r.reg << ", " << r.value << '}';
}
inline std::vector<Req> Requests(const std::vector<Bytes>& frames, std::size_t from = 0) {
    std::vector<Req> out;
    for (std::size_t i = from; i < frames.size(); ++i) {
        const Bytes& f = frames[i];
        out.push_back({f[1], (f[2] << 8) | f[3], (f[4] << 8) | f[5]});
    }
    return out;
}

// Timing a hundred times faster than the recorder's, still slow enough that an exchange is
// clearly longer than a refused frame's immediate failure.
inline SerialTiming FastTiming() {
    SerialTiming t;
    t.ReplyWait = 20;
    t.ReplyStep = 5;
    t.ResendPause = 4;
    t.StopPause = 1;
    t.StopLockWait = 200;
    return t;
}

class LinkTest : public ::testing::Test {
protected:
    void MakeLink(SerialRequestSet set = SerialRequestSet::Service,
                  const SerialTiming& timing = FastTiming()) {
        link.reset();
        link = std::make_unique<Serial>(log.Handle(), host, set, timing);
    }
    Codes Run(int code, int last) { return RunRequest(*link, log, code, last); }
    void TearDown() override { link.reset(); }

    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    std::unique_ptr<Serial> link;
};
