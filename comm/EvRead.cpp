#include "comm/EvRead.h"

TReadEventThread::TReadEventThread(TCommPort* port) : Port(port) {
    Start();
}

TReadEventThread::~TReadEventThread() = default;

void TReadEventThread::Execute() {
    while (!Terminated()) {
        if (Port->DataEvent.Wait(plat::INFINITE) != plat::WAIT_OBJECT_0) continue;
        Synchronize([this] { DoDataReceived(); });
    }
}

void TReadEventThread::DoDataReceived() {
    if (!Port->OnDataReceived) return;
    const void* outer = Port->Handling;
    Port->Handling = this;
    struct Restore {
        TCommPort* port;
        const void* outer;
        ~Restore() { port->Handling = outer; }
    } restore{Port, outer};
    Port->OnDataReceived(Port, Port->InBuffUsed());
}
