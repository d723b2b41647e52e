#include "comm/EvStatus.h"

#include "platform/SerialDevice.h"

TStatusEventThread::TStatusEventThread(TCommPort* port) : Port(port) {
    Start();
}

TStatusEventThread::~TStatusEventThread() = default;

void TStatusEventThread::Execute() {
    while (!Terminated()) {
        if (Port->StatusEvent.Wait(plat::INFINITE) != plat::WAIT_OBJECT_0) continue;
        Synchronize([this] { DoStatusEvents(); });
    }
}

// The mask is read once; the events come in this fixed order whatever order the line saw.
// Each handler is called through a copy: it may assign the events anew, itself included.
void TStatusEventThread::DoStatusEvents() {
    const plat::DWORD mask = Port->LastEventMask.load();
    InHandler = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{InHandler};
    const struct {
        plat::DWORD bit;
        const TNotifyEvent& event;
    } order[] = {
        {plat::EV_CTS, Port->OnCTSSignal},     {plat::EV_RLSD, Port->OnDCDSignal},
        {plat::EV_DSR, Port->OnDSRSignal},     {plat::EV_RING, Port->OnRingSignal},
        {plat::EV_RXCHAR, Port->OnRxDSignal},  {plat::EV_RXFLAG, Port->OnRxEventSignal},
        {plat::EV_TXEMPTY, Port->OnTxDSignal}, {plat::EV_BREAK, Port->OnBreakSignal},
    };
    for (const auto& e : order) {
        if (!(mask & e.bit)) continue;
        if (const TNotifyEvent handler = e.event) handler(Port);
    }
    if (!(mask & plat::EV_ERR)) return;
    if (const TErrorEvent handler = Port->OnErrorSignal)
        handler(Port, static_cast<int>(plat::GetLastError()));
}
