// The status-event thread: raises the line events in the GUI thread.
#pragma once

#include "comm/CommPort.h"
#include "platform/Thread.h"

class TStatusEventThread : public plat::TThread {
public:
    explicit TStatusEventThread(TCommPort* port);
    ~TStatusEventThread() override;

    TCommPort* const Port;
    // GUI thread only: a handler raised by this thread is running.
    bool InHandler = false;

    // Runs in the GUI thread.
    void DoStatusEvents();

protected:
    void Execute() override;
};
