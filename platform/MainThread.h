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

// GUI thread only: runs the calls queued so far; returns how many ran.
int ProcessPending();

// GUI thread only: serves queued calls until done() is true or ms elapse; returns done().
// Used by waits in the GUI thread that must keep synchronized calls flowing.
bool ProcessUntil(const std::function<bool()>& done, DWORD ms = INFINITE);

// Drops every queued call without running it (test isolation; never while a worker waits in
// RunSync, which would then wait for ever).
void DiscardPending();

} // namespace plat::MainThread
