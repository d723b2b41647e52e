// The read-event thread: raises OnDataReceived in the GUI thread.
#pragma once

#include "comm/CommPort.h"
#include "platform/Thread.h"

class TReadEventThread : public plat::TThread {
public:
    explicit TReadEventThread(TCommPort* port);
    ~TReadEventThread() override;

    TCommPort* const Port;
    // GUI thread only: a handler raised by this thread is running.
    bool InHandler = false;

    // Runs in the GUI thread.
    void DoDataReceived();

protected:
    void Execute() override;
};
