#include "platform/MainThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace plat::MainThread {

namespace {

struct Call {
    std::function<void()> fn;
    bool synchronized;
};

struct State {
    std::mutex m;
    std::condition_variable cv; // signalled when a call is queued
    std::deque<Call> queue;
    std::size_t synchronized = 0; // how many of the queued calls are synchronized ones
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

void enqueue(std::function<void()> fn, bool synchronized) {
    State& s = state();
    std::function<void()> wake;
    {
        std::lock_guard lock(s.m);
        s.queue.push_back({std::move(fn), synchronized});
        if (synchronized) ++s.synchronized;
        wake = s.wake;
    }
    s.cv.notify_all();
    if (wake) wake();
}

bool Waiting(const State& s, Serve which) {
    return which == Serve::All ? !s.queue.empty() : s.synchronized > 0;
}

// The first queued call that `which` serves, taken off the queue; empty when there is none.
std::function<void()> TakeNext(State& s, Serve which) {
    auto it = s.queue.begin();
    if (which == Serve::Synchronized)
        it = std::find_if(s.queue.begin(), s.queue.end(),
                          [](const Call& c) { return c.synchronized; });
    if (it == s.queue.end()) return {};
    if (it->synchronized) --s.synchronized;
    std::function<void()> fn = std::move(it->fn);
    s.queue.erase(it);
    return fn;
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
    enqueue(std::move(fn), false);
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
    enqueue(
        [&call, &fn] {
            try {
                fn();
            } catch (...) {
                call.error = std::current_exception();
            }
            // Notified under the lock: once the waiter sees done it returns and the record is gone.
            std::lock_guard lock(call.m);
            call.done = true;
            call.cv.notify_all();
        },
        true);
    std::unique_lock lock(call.m);
    call.cv.wait(lock, [&] { return call.done; });
    if (call.error) std::rethrow_exception(call.error);
}

int ProcessPending(Serve which) {
    State& s = state();
    // One call at a time straight from the queue, not a batch taken aside: a call that waits
    // in the GUI thread (ClosePort waiting for a worker) serves the queue itself, and must be
    // able to run the calls queued behind it, or the worker it waits for never finishes.
    std::size_t budget;
    {
        std::lock_guard lock(s.m);
        budget = which == Serve::All ? s.queue.size() : s.synchronized;
    }
    int ran = 0;
    for (; budget > 0; --budget) {
        std::function<void()> fn;
        {
            std::lock_guard lock(s.m);
            fn = TakeNext(s, which);
        }
        if (!fn) break;
        // An exception leaves the rest queued for the loop's own handling.
        fn();
        ++ran;
    }
    return ran;
}

bool ProcessUntil(const std::function<bool()>& done, DWORD ms, Serve which) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    State& s = state();
    for (;;) {
        ProcessPending(which);
        if (done()) return true;
        std::unique_lock lock(s.m);
        // Short slices: done() may turn true without anything being queued (a thread ends).
        auto slice = clock::now() + std::chrono::milliseconds(5);
        if (ms != INFINITE && slice > deadline) slice = deadline;
        s.cv.wait_until(lock, slice, [&] { return Waiting(s, which); });
        if (ms != INFINITE && clock::now() >= deadline && !Waiting(s, which)) {
            lock.unlock();
            return done();
        }
    }
}

void DiscardPending() {
    State& s = state();
    std::lock_guard lock(s.m);
    s.queue.clear();
    s.synchronized = 0;
}

} // namespace plat::MainThread
