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
    if (PortHandle) TakeLines();
    Port->LastEventMask.store(0);
    while (!Terminated()) {
        plat::DWORD mask = 0;
        // A wait ended by the close counts as one completed with mask 0, as SetCommMask(0)
        // would end it: the last pass then leaves no stale events for the close to raise.
        if (!WaitEvent(mask) && !Terminated()) continue;
        Port->LastEventMask.store(mask);
        if (mask & LineChanges) TakeLines();
        if (mask & plat::EV_RXCHAR) Port->ReadEvent.Set();
        Port->StatusEvent.Set();
    }
}

// The writer waits for this wake while the handshake holds it, also when CTS is found on by
// the first reading after the open.
void TStatusThread::TakeLines() {
    plat::DWORD status = 0;
    if (!PortHandle->GetCommModemStatus(status)) return;
    Port->TakeModemStatus(status);
    if (Port->FControl.load() == ccHard && Port->FCTS.load() && Port->OutBuffUsed() > 0)
        Port->WriteEvent.Set();
}

// A wait that does not complete at once is looked at only after the pause, so that the bytes
// of one burst are taken by one wake of the reader. mask is 0 unless the wait completed.
bool TStatusThread::WaitEvent(plat::DWORD& mask) {
    if (PortHandle->WaitCommEvent(mask, Overlapped)) return true;
    const plat::DWORD error = plat::GetLastError();
    Overlapped.Pause(Port->Timing.StatusPauseMs);
    if (error == plat::ERROR_IO_PENDING && PortHandle->GetCommEventResult(Overlapped, mask))
        return true;
    mask = 0;
    return false;
}
