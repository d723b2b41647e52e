#include "comm/ThStatus.h"

namespace {

// Element i of the monitored set stands for the i-th of these mask bits.
constexpr plat::DWORD EventBits[] = {plat::EV_RXCHAR, plat::EV_RXFLAG, plat::EV_TXEMPTY,
                                     plat::EV_CTS,    plat::EV_DSR,    plat::EV_RLSD,
                                     plat::EV_BREAK,  plat::EV_ERR,    plat::EV_RING};

constexpr plat::DWORD LineChanges =
    plat::EV_CTS | plat::EV_DSR | plat::EV_RLSD | plat::EV_ERR | plat::EV_RING;

} // namespace

TStatusThread::TStatusThread(TCommPort* port, TEventStates events)
    : Port(port), PortHandle(port->PortHandle.get()) {
    // The mask is in place before the first wait is issued.
    PortHandle->SetCommMask(EventMask(events));
    Start();
}

TStatusThread::~TStatusThread() = default;

plat::DWORD TStatusThread::EventMask(TEventStates events) {
    plat::DWORD mask = 0;
    for (int i = 0; i < static_cast<int>(std::size(EventBits)); ++i)
        if (events.Contains(static_cast<TEventState>(i))) mask |= EventBits[i];
    return mask;
}

void TStatusThread::Execute() {
    plat::DWORD status = 0;
    if (PortHandle && PortHandle->GetCommModemStatus(status)) Port->TakeModemStatus(status);
    Port->LastEventMask.store(0);
    while (!Terminated()) {
        plat::DWORD mask = 0;
        if (!WaitEvent(mask)) continue;
        Port->LastEventMask.store(mask);
        if ((mask & LineChanges) && PortHandle->GetCommModemStatus(status)) {
            Port->TakeModemStatus(status);
            if (Port->FControl.load() == ccHard && Port->FCTS.load() && Port->OutBuffUsed() > 0)
                Port->WriteEvent.Set();
        }
        if (mask & plat::EV_RXCHAR) Port->ReadEvent.Set();
        Port->StatusEvent.Set();
    }
}

// A wait that does not complete at once is looked at only after the pause, so that the bytes
// of one burst are taken by one wake of the reader.
bool TStatusThread::WaitEvent(plat::DWORD& mask) {
    if (PortHandle->WaitCommEvent(mask, Overlapped)) return true;
    const plat::DWORD error = plat::GetLastError();
    Overlapped.Pause(Port->Timing.StatusPauseMs);
    return error == plat::ERROR_IO_PENDING && PortHandle->GetCommEventResult(Overlapped, mask);
}
