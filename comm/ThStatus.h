// The status thread: waits for comm events, keeps the port's modem-line flags and
// LastEventMask, and wakes the reader, the writer and the status-event thread.
#pragma once

#include "comm/CommPort.h"
#include "platform/SerialDevice.h"
#include "platform/Thread.h"

class TStatusThread : public plat::TThread {
public:
    TStatusThread(TCommPort* port, TEventStates events);
    ~TStatusThread() override;

    // The comm-event mask the device watches for a set of monitored events.
    static plat::DWORD EventMask(TEventStates events);

    TCommPort* const Port;
    plat::SerialDevice* const PortHandle;
    // Cancelled by ClosePort so that neither the pause nor a pending wait holds the thread.
    plat::Overlapped Overlapped;

protected:
    void Execute() override;

private:
    void TakeLines();
    bool WaitEvent(plat::DWORD& mask);
};
