#include "comm/ThRead.h"

#include <algorithm>

TReadThread::TReadThread(TCommPort* port) : Port(port), PortHandle(port->PortHandle.get()) {
    Start();
}

TReadThread::~TReadThread() = default;

void TReadThread::Execute() {
    while (!Terminated()) {
        if (Port->ReadEvent.Wait(plat::INFINITE) != plat::WAIT_OBJECT_0) continue;
        ReadWaiting();
    }
}

// Reads only what the device already holds, into the free space after the tail, never across
// the end of the buffer; a full ring leaves the rest in the device until GetBlock makes room.
void TReadThread::ReadWaiting() {
    TRing& ring = Port->InRing;
    std::uint32_t taken = 0;
    for (;;) {
        plat::DWORD errors = 0;
        plat::COMSTAT stat;
        // A device that cannot tell has nothing to give; the next wake asks again.
        if (!PortHandle->ClearCommError(errors, stat)) stat.cbInQue = 0;
        std::uint32_t head, used;
        {
            plat::CriticalSectionLock lock(Port->InLock);
            head = ring.Head;
            used = ring.Used.load();
        }
        const std::uint32_t tail = head + used;
        const std::uint32_t position = tail < ring.Size ? tail : tail - ring.Size;
        const std::uint32_t space = tail < ring.Size ? ring.Size - tail : head - position;
        const std::uint32_t n = std::min<std::uint32_t>(space, stat.cbInQue);
        if (n == 0) return;
        plat::DWORD got = 0;
        const bool ok = PortHandle->ReadFile(ring.Buffer.get() + position, n, got);
        if (ok && got > 0) {
            {
                plat::CriticalSectionLock lock(Port->InLock);
                ring.Used.fetch_add(got);
            }
            Port->DataEvent.Set();
            taken += got;
        }
        // A line that never falls silent must not hold up a close.
        if (Terminated() && taken >= ring.Size) return;
        // A device that keeps failing is not hammered; the pause ends when the port closes.
        if (!ok && (Terminated() || Overlapped.Pause(Port->Timing.FailPauseMs))) return;
    }
}
