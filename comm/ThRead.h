// The reader: moves the bytes waiting in the device into the input ring and wakes the
// read-event thread.
#pragma once

#include "comm/CommPort.h"
#include "platform/SerialDevice.h"
#include "platform/Thread.h"

class TReadThread : public plat::TThread {
public:
    explicit TReadThread(TCommPort* port);
    ~TReadThread() override;

    TCommPort* const Port;
    plat::SerialDevice* const PortHandle;
    // Cancelled by ClosePort: ends the pause after a failed read.
    plat::Overlapped Overlapped;

protected:
    void Execute() override;

private:
    void ReadWaiting();
};
