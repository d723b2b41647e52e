// The writer: writes the bytes of the output ring to the device.
#pragma once

#include "comm/CommPort.h"
#include "platform/SerialDevice.h"
#include "platform/Thread.h"

class TWriteThread : public plat::TThread {
public:
    explicit TWriteThread(TCommPort* port);
    ~TWriteThread() override;

    plat::SerialDevice* const PortHandle;
    TCommPort* const Port;
    // Cancelled by ClosePort: ends a write that waits for the line without limit (the rest is
    // then written with a time limit) and the pause after a failed write.
    plat::Overlapped Overlapped;

protected:
    void Execute() override;

private:
    bool HeldByCts();
    void WriteOut();
    void DropHeld();
};
