// The framework thread class: created running (the derived constructor's fields are set before
// Execute starts, because Start is called at the end of the most derived constructor), a stop
// flag raised by Terminate, WaitFor, no self-deletion, and Synchronize.
#pragma once

#include "platform/Sync.h"

#include <atomic>
#include <functional>
#include <thread>

namespace plat {

class TThread {
public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // Terminates and waits when the thread still runs, so a thread is never destroyed under
    // its own feet.
    virtual ~TThread();

    // Runs in each new thread before its Execute. Tests hold a thread back there, as a loaded
    // machine does, to reach the moments a stop may find it in; set only while no thread starts.
    static void SetStartHook(std::function<void(TThread&)> hook);

    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }

    // Waits for Execute to return. In the GUI thread it keeps serving synchronized calls, so a
    // worker blocked in Synchronize can still finish, and only those: posted calls wait.
    void WaitFor();

protected:
    TThread() = default;
    // Starts Execute in a new thread; call it last in the most derived constructor.
    void Start();
    virtual void Execute() = 0;
    // Runs fn in the GUI thread while this thread waits.
    void Synchronize(const std::function<void()>& fn);

private:
    void Run();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    Event done_{true};
    std::thread thread_;
};

} // namespace plat
