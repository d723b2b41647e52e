// Shared pieces of the link tests: a main-form stand-in that answers through the recorder
// simulator without any port, and a window that records the notifications it receives.
#pragma once

#include "link/serial.h"
#include "platform/MainThread.h"
#include "platform/Messages.h"
#include "support/RecorderSim.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Hands each frame to the simulator (or to a replacement responder) and puts the answer into
// the receive buffer at once. A late answer is held back and arrives just before the next
// frame's answer, as it would on the line after the link has taken the buffer.
class FakeHost : public SerialHost {
public:
    using Responder = std::function<Bytes(const Bytes& frame)>;

    explicit FakeHost(RecorderSim& sim) : sim_(sim) {}

    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        std::lock_guard lock(m_);
        ++putCalls_;
        if (closed_) return 0;
        Bytes frame(data, data + length);
        sent_.push_back(frame);
        if (!late_.empty()) rx_.Append(late_.data(), static_cast<std::int32_t>(late_.size()));
        late_.clear();
        if (responder_) {
            Bytes reply = responder_(frame);
            rx_.Append(reply.data(), static_cast<std::int32_t>(reply.size()));
        } else {
            SimReply reply = sim_.Respond(frame.data(), frame.size());
            if (reply.DelayMs > 0)
                late_ = reply.Bytes;
            else
                rx_.Append(reply.Bytes.data(), static_cast<std::int32_t>(reply.Bytes.size()));
        }
        return length;
    }
    ReceiveBuffer& RxBuffer() override { return rx_; }
    void EnableTimer1() override { timerEnables_.fetch_add(1); }
    bool RadioButton1Checked() const override { return radio_.load(); }

    void SetClosed(bool closed) {
        std::lock_guard lock(m_);
        closed_ = closed;
    }
    void SetResponder(Responder r) {
        std::lock_guard lock(m_);
        responder_ = std::move(r);
    }
    void SetRadioButton1(bool checked) { radio_ = checked; }

    std::vector<Bytes> Sent() const {
        std::lock_guard lock(m_);
        return sent_;
    }
    int SentCount() const {
        std::lock_guard lock(m_);
        return static_cast<int>(sent_.size());
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
    Bytes late_;
    std::vector<Bytes> sent_;
    int putCalls_ = 0;
    bool closed_ = false;
    std::atomic<int> timerEnables_{0};
    std::atomic<bool> radio_{false};
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
            [&] {
                for (int c : codes_)
                    if (c == code) return true;
                return false;
            },
            ms);
    }
    // Serves the GUI queue for a while and returns every code so far.
    std::vector<int> Drain(plat::DWORD ms = 0) {
        plat::MainThread::ProcessUntil([] { return false; }, ms);
        plat::MainThread::ProcessPending();
        return codes_;
    }
    const std::vector<int>& Codes() const { return codes_; }
    void Clear() { codes_.clear(); }

private:
    plat::HWND hwnd_ = 0;
    std::vector<int> codes_;
};

// Timing a hundred times faster than the recorder's, still slow enough that an exchange is
// clearly longer than a closed port's immediate failure.
inline SerialTiming FastTiming() {
    SerialTiming t;
    t.ReplyWait = 20;
    t.ReplyStep = 5;
    t.ResendPause = 4;
    t.StopPause = 1;
    t.StopLockWait = 200;
    return t;
}
