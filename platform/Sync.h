// Windows-style synchronisation objects the component and the link thread are written against:
// auto/manual-reset events, critical sections, an owned mutex with a timed wait, Sleep and the
// per-thread last-error code.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace plat {

using DWORD = std::uint32_t;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;

// An event object. Auto-reset: a successful wait clears it (one waiter is released per Set).
// Manual-reset: it stays set until Reset.
class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // WAIT_OBJECT_0 when the event was (or became) set within ms, else WAIT_TIMEOUT.
    DWORD Wait(DWORD ms = INFINITE);

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool manual_;
    bool set_;
};

class CriticalSection {
public:
    void Enter() { m_.lock(); }
    void Leave() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~CriticalSectionLock() { cs_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& cs_;
};

// A mutex owned by a thread, recursive, with a timed wait (WaitForSingleObject on a mutex).
// Built on a condition variable rather than std::recursive_timed_mutex, whose timed lock
// ThreadSanitizer does not see (it then reports every later unlock as foreign).
class Mutex {
public:
    // WAIT_OBJECT_0 when acquired within ms, else WAIT_TIMEOUT.
    DWORD Wait(DWORD ms = INFINITE);
    // Releases one level of ownership; does nothing for a thread that does not own it.
    void Release();

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::thread::id owner_;
    unsigned depth_ = 0;
};

void Sleep(DWORD ms);

// The calling thread's last-error code.
void SetLastError(DWORD code);
DWORD GetLastError();

// Error codes that callers compare against.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

} // namespace plat
