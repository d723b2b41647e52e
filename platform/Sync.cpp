#include "platform/Sync.h"

#include <chrono>
#include <thread>

namespace plat {

Event::Event(bool manualReset, bool initiallySet) : manual_(manualReset), set_(initiallySet) {}

void Event::Set() {
    {
        std::lock_guard lock(m_);
        set_ = true;
    }
    // Auto-reset events release one waiter; waking all is harmless because each waiter rechecks
    // the flag under the lock and the first one clears it.
    cv_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(m_);
    set_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(m_);
    return set_;
}

DWORD Event::Wait(DWORD ms) {
    std::unique_lock lock(m_);
    auto ready = [this] { return set_; };
    if (ms == INFINITE) {
        cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!manual_) set_ = false;
    return WAIT_OBJECT_0;
}

DWORD Mutex::Wait(DWORD ms) {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_);
    if (depth_ > 0 && owner_ == self) {
        ++depth_;
        return WAIT_OBJECT_0;
    }
    auto free = [this] { return depth_ == 0; };
    if (ms == INFINITE) {
        cv_.wait(lock, free);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), free)) {
        return WAIT_TIMEOUT;
    }
    owner_ = self;
    depth_ = 1;
    return WAIT_OBJECT_0;
}

void Mutex::Release() {
    {
        std::lock_guard lock(m_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
        if (--depth_ > 0) return;
        owner_ = std::thread::id();
    }
    cv_.notify_one();
}

void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
thread_local DWORD lastError = 0;
}

void SetLastError(DWORD code) {
    lastError = code;
}
DWORD GetLastError() {
    return lastError;
}

} // namespace plat
