// The GUI thread's queue of calls from other threads. Worker threads either post a call and go
// on (PostMessage, timer enabling) or hand one over and wait for it (Synchronize). The GUI
// toolkit drains the queue from its own loop: a wake hook tells it that something is queued.
// Tests without a toolkit drive the queue themselves with ProcessPending/ProcessUntil.
#pragma once

#include "platform/Sync.h"

#include <functional>

namespace plat::MainThread {

// Marks the calling thread as the GUI thread. The first thread that touches the queue is taken
// as the GUI thread when nobody called this.
void Bind();
bool IsMainThread();

// Called (from any thread) after a call was queued. The toolkit's hook must be cheap and thread
// safe, e.g. a queued invocation into its event loop that then calls ProcessPending.
void SetWakeHook(std::function<void()> hook);

// Queues fn to run later in the GUI thread; returns at once.
void Post(std::function<void()> fn);

// Runs fn in the GUI thread and returns when it has run. Called in the GUI thread it runs fn at
// once. An exception escaping fn is rethrown in the caller.
void RunSync(const std::function<void()>& fn);

// Which queued calls a GUI-thread wait serves: all of them, or only the synchronized calls of
// waiting workers. A wait inside an operation (closing a port) serves only the latter, so that
// posted calls (window messages) run after the operation, not in the middle of it.
enum class Serve { All, Synchronized };

// GUI thread only: runs the calls queued so far; returns how many ran. Calls left out keep
// their order.
int ProcessPending(Serve which = Serve::All);

// GUI thread only: serves queued calls until done() is true or ms elapse; returns done().
bool ProcessUntil(const std::function<bool()>& done, DWORD ms = INFINITE, Serve which = Serve::All);

// Drops every queued call without running it (test isolation; never while a worker waits in
// RunSync, which would then wait for ever).
void DiscardPending();

} // namespace plat::MainThread
