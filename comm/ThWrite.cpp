#include "comm/ThWrite.h"

TWriteThread::TWriteThread(TCommPort* port) : PortHandle(port->PortHandle.get()), Port(port) {
    Start();
}

TWriteThread::~TWriteThread() = default;

void TWriteThread::Execute() {
    while (!Terminated()) {
        if (Port->WriteEvent.Wait(plat::INFINITE) != plat::WAIT_OBJECT_0) continue;
        if (Port->OutBuffUsed() == 0) {
            // Cleared only under the lock and only on a ring that is still empty there, so a
            // PutBlock that just raised Used keeps its wake.
            plat::CriticalSectionLock lock(Port->OutLock);
            if (Port->OutRing.Used.load() == 0) Port->WriteEvent.Reset();
            continue;
        }
        if (HeldByCts()) continue;
        plat::DWORD errors = 0;
        plat::COMSTAT stat;
        PortHandle->ClearCommError(errors, stat);
        WriteOut();
    }
    // The close may come before the first round or between two rounds, with bytes that
    // PutBlock accepted still in the ring: they go out now, with the close's time limit.
    if (Port->OutBuffUsed() > 0) WriteOut();
}

// Under hardware handshake with CTS off the writer waits for the status thread's wake when
// CTS comes on instead of coming straight back to the same test. CTS is looked at again
// after the event is cleared, so a wake given in between is not lost.
bool TWriteThread::HeldByCts() {
    if (Port->FControl.load() != ccHard || Port->FCTS.load()) return false;
    Port->WriteEvent.Reset();
    return !Port->FCTS.load();
}

// Writes until the ring is empty, in at most two pieces per round. A flush during a write
// drops the whole chunk in flight; a write cancelled by the close is taken up again with a
// time limit, and what the device will not take within it is dropped.
void TWriteThread::WriteOut() {
    TRing& ring = Port->OutRing;
    while (ring.Used.load() > 0) {
        std::uint32_t head, n, flushes;
        {
            plat::CriticalSectionLock lock(Port->OutLock);
            head = ring.Head;
            const std::uint32_t used = ring.Used.load();
            n = head + used < ring.Size ? used : ring.Size - head;
            ring.InFlight = n;
            flushes = ring.Flushes;
        }
        const bool closing = Terminated();
        plat::DWORD written = 0;
        const bool ok = PortHandle->WriteFile(ring.Buffer.get() + head, n, written,
                                              closing ? nullptr : &Overlapped,
                                              closing ? Port->Timing.HeldWriteMs : plat::INFINITE);
        const plat::DWORD error = ok ? 0 : plat::GetLastError();
        {
            plat::CriticalSectionLock lock(Port->OutLock);
            if (ring.Flushes != flushes) written = n;
            ring.Used.fetch_sub(written);
            ring.Head += written;
            if (ring.Head >= ring.Size) ring.Head -= ring.Size;
            ring.InFlight = 0;
        }
        if (ok || error == plat::ERROR_OPERATION_ABORTED) continue;
        if (Terminated()) return;
        if (PortHandle->Gone()) return DropHeld();
        Overlapped.Pause(Port->Timing.FailPauseMs);
    }
}

// A device that went away never takes the bytes: trying them again every pause would keep the
// thread busy for nothing. The head moves past them, as a flush would.
void TWriteThread::DropHeld() {
    TRing& ring = Port->OutRing;
    plat::CriticalSectionLock lock(Port->OutLock);
    ring.Head = (ring.Head + ring.Used.load()) % ring.Size;
    ring.Used.store(0);
}
