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

// The handler is called through a copy: it may assign the event anew, itself included.
void TReadEventThread::DoDataReceived() {
    const TDataReceivedEvent handler = Port->OnDataReceived;
    if (!handler) return;
    InHandler = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{InHandler};
    handler(Port, Port->InBuffUsed());
}
