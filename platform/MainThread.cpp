#include "platform/MainThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace plat::MainThread {

namespace {

struct State {
    std::mutex m;
    std::condition_variable cv; // signalled when a call is queued
    std::deque<std::function<void()>> queue;
    std::function<void()> wake;
    std::thread::id mainId;
    bool bound = false;
};

State& state() {
    static State s;
    return s;
}

void bindIfUnbound(State& s) {
    if (!s.bound) {
        s.mainId = std::this_thread::get_id();
        s.bound = true;
    }
}

void enqueue(std::function<void()> fn) {
    State& s = state();
    std::function<void()> wake;
    {
        std::lock_guard lock(s.m);
        s.queue.push_back(std::move(fn));
        wake = s.wake;
    }
    s.cv.notify_all();
    if (wake) wake();
}

} // namespace

void Bind() {
    State& s = state();
    std::lock_guard lock(s.m);
    s.mainId = std::this_thread::get_id();
    s.bound = true;
}

bool IsMainThread() {
    State& s = state();
    std::lock_guard lock(s.m);
    bindIfUnbound(s);
    return s.mainId == std::this_thread::get_id();
}

void SetWakeHook(std::function<void()> hook) {
    State& s = state();
    std::lock_guard lock(s.m);
    s.wake = std::move(hook);
}

void Post(std::function<void()> fn) {
    enqueue(std::move(fn));
}

void RunSync(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    // The caller waits until the call has run, so the record can live on its stack: the event
    // threads synchronize once per event and must not allocate for it. The queued call holds
    // two references, which the function object keeps without allocating.
    struct Call {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    } call;
    enqueue([&call, &fn] {
        try {
            fn();
        } catch (...) {
            call.error = std::current_exception();
        }
        // Notified under the lock: once the waiter sees done it returns and the record is gone.
        std::lock_guard lock(call.m);
        call.done = true;
        call.cv.notify_all();
    });
    std::unique_lock lock(call.m);
    call.cv.wait(lock, [&] { return call.done; });
    if (call.error) std::rethrow_exception(call.error);
}

int ProcessPending() {
    State& s = state();
    // One call at a time straight from the queue, not a batch taken aside: a call that waits
    // in the GUI thread (ClosePort waiting for a worker) serves the queue itself, and must be
    // able to run the calls queued behind it, or the worker it waits for never finishes.
    std::size_t budget;
    {
        std::lock_guard lock(s.m);
        budget = s.queue.size();
    }
    int ran = 0;
    for (; budget > 0; --budget) {
        std::function<void()> fn;
        {
            std::lock_guard lock(s.m);
            if (s.queue.empty()) break;
            fn = std::move(s.queue.front());
            s.queue.pop_front();
        }
        // An exception leaves the rest queued for the loop's own handling.
        fn();
        ++ran;
    }
    return ran;
}

bool ProcessUntil(const std::function<bool()>& done, DWORD ms) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    State& s = state();
    for (;;) {
        ProcessPending();
        if (done()) return true;
        std::unique_lock lock(s.m);
        // Short slices: done() may turn true without anything being queued (a thread ends).
        auto slice = clock::now() + std::chrono::milliseconds(5);
        if (ms != INFINITE && slice > deadline) slice = deadline;
        s.cv.wait_until(lock, slice, [&] { return !s.queue.empty(); });
        if (ms != INFINITE && clock::now() >= deadline && s.queue.empty()) {
            lock.unlock();
            return done();
        }
    }
}

void DiscardPending() {
    State& s = state();
    std::lock_guard lock(s.m);
    s.queue.clear();
}

} // namespace plat::MainThread
