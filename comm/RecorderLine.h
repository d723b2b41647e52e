// The line both programs speak to the recorder on: 8 data bits, no parity, one stop bit, no flow
// control, and the same ring sizes and flow-control characters. Only the port and the speed differ
// between the programs.
#pragma once

#include "comm/CommPort.h"

void SetUpRecorderLine(TCommPort& port, int comNumber, TBaudRate rate);
