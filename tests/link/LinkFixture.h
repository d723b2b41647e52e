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
#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Codes = std::vector<int>;

// Hands each frame to the simulator (or to `responder`) and puts the answer into the receive
// buffer at once. `accept` and `responder` are changed only while no request runs.
class FakeHost : public SerialHost {
public:
    explicit FakeHost(RecorderSim& sim) : sim_(sim) {}

    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        std::lock_guard lock(m_);
        sent_.emplace_back(data, data + length); // refused frames too
        const std::uint32_t taken = std::min(length, accept);
        if (taken == 0) return 0;
        const Bytes reply = responder ? responder(sent_.back()) : sim_.Respond(data, length).Bytes;
        rx_.Append(reply.data(), static_cast<std::int32_t>(reply.size()));
        return taken;
    }
    ReceiveBuffer& RxBuffer() override { return rx_; }
    void EnableTimer1() override { ++timerEnables; }
    bool RadioButton1Checked() const override { return false; }

    std::vector<Bytes> Sent() const {
        std::lock_guard lock(m_);
        return sent_;
    }

    std::uint32_t accept = 0xFFFFFFFFu; // how many bytes of a frame the port takes: 0 is closed
    std::function<Bytes(const Bytes& frame)> responder;
    std::atomic<int> timerEnables{0};

private:
    RecorderSim& sim_;
    mutable std::mutex m_;
    ReceiveBuffer rx_;
    std::vector<Bytes> sent_;
};

// The main form's window as far as the link is concerned: the WM_USER codes in arrival order.
class NotifyLog {
public:
    NotifyLog() {
        plat::MainThread::Bind();
        hwnd_ = plat::RegisterWindow([this](plat::UINT msg, plat::WPARAM w, plat::LPARAM) {
            if (msg == plat::WM_USER) codes_.push_back(static_cast<int>(w));
        });
    }
    ~NotifyLog() {
        plat::UnregisterWindow(hwnd_);
        plat::MainThread::DiscardPending();
    }
    plat::HWND Handle() const { return hwnd_; }

    // Serves the GUI queue until a message with one of these codes has arrived.
    bool WaitFor(std::initializer_list<int> codes, plat::DWORD ms = 10000) {
        return plat::MainThread::ProcessUntil(
            [&] {
                return std::find_first_of(codes_.begin(), codes_.end(), codes.begin(),
                                          codes.end()) != codes_.end();
            },
            ms);
    }
    bool WaitFor(int code, plat::DWORD ms = 10000) { return WaitFor({code}, ms); }
    // Serves the GUI queue for a while, then returns every code so far and forgets them.
    Codes Drain(plat::DWORD ms = 0) {
        plat::MainThread::ProcessUntil([] { return false; }, ms);
        plat::MainThread::ProcessPending();
        return std::exchange(codes_, {});
    }

private:
    plat::HWND hwnd_ = 0;
    Codes codes_;
};

// Hands one code over and returns every code posted until `last` came.
inline Codes RunRequest(Serial& link, NotifyLog& log, int code, int last, plat::DWORD ms = 10000) {
    log.Drain(); // an earlier link's last message must not count for this request
    link.PostCommand(static_cast<SerialRequestCode>(code));
    EXPECT_TRUE(log.WaitFor(last, ms)) << "request " << code;
    return log.Drain();
}

// Function, register (or sub-function) and value fields of request frames.
using Req = std::array<int, 3>;
inline std::vector<Req> Requests(const std::vector<Bytes>& frames, std::size_t from = 0) {
    std::vector<Req> out;
    for (std::size_t i = from; i < frames.size(); ++i) {
        const Bytes& f = frames[i];
        out.push_back({f[1], (f[2] << 8) | f[3], (f[4] << 8) | f[5]});
    }
    return out;
}

inline DeviceParams ConfigOf(Serial& link) {
    DeviceParams p{};
    link.GetConfig(p);
    return p;
}

inline Measurements ValuesOf(Serial& link) {
    Measurements m{};
    link.GetMeasurements(m);
    return m;
}

// Timing a hundred times faster than the recorder's, still slow enough that an exchange is
// clearly longer than a refused frame's immediate failure.
inline SerialTiming FastTiming(plat::DWORD replyWait = 20, plat::DWORD replyStep = 5) {
    return {replyWait, replyStep, 4, 1, 200};
}

class LinkTest : public ::testing::Test {
protected:
    void MakeLink(SerialRequestSet set = SerialRequestSet::Service,
                  const SerialTiming& timing = FastTiming()) {
        link.reset();
        link = std::make_unique<Serial>(log.Handle(), host, set, timing);
    }
    Codes Run(int code, int last) { return RunRequest(*link, log, code, last); }
    DeviceParams Config() { return ConfigOf(*link); }
    Measurements Values() { return ValuesOf(*link); }
    void TearDown() override { link.reset(); }

    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    std::unique_ptr<Serial> link;
};
