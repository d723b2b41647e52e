#include "comm/RecorderLine.h"

void SetUpRecorderLine(TCommPort& port, int comNumber, TBaudRate rate) {
    port.SetComNumber(comNumber);
    port.SetIBuffSize(2048);
    port.SetOBuffSize(4096);
    port.SetBaudRate(rate);
    port.SetDataBits(8);
    port.SetParity(paNone);
    port.SetStopBits(sb1_0);
    port.SetComControl(ccNone);
    port.SetXoffLim(1024);
    port.SetXonChar(0x11);
    port.SetXoffChar(0x13);
    // Every line event but the event character, which the recorder never uses.
    port.MonitorEvents = {evRxChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing};
}
