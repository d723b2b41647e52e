#include "platform/MainThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
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

void Post(std::function<void()> fn) { enqueue(std::move(fn)); }

void RunSync(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    struct Call {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    enqueue([call, &fn] {
        try {
            fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard lock(call->m);
            call->done = true;
        }
        call->cv.notify_all();
    });
    std::unique_lock lock(call->m);
    call->cv.wait(lock, [&] { return call->done; });
    if (call->error) std::rethrow_exception(call->error);
}

int ProcessPending() {
    State& s = state();
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(s.m);
        batch.swap(s.queue);
    }
    int ran = 0;
    while (!batch.empty()) {
        auto fn = std::move(batch.front());
        batch.pop_front();
        try {
            fn();
        } catch (...) {
            // A posted call has nobody to report to; put the rest back so none is lost, then
            // let the loop's own exception handling see it.
            std::lock_guard lock(s.m);
            s.queue.insert(s.queue.begin(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.end()));
            throw;
        }
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
