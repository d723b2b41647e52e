// Shared by the paced-line tests of both programs: the ways a recorder's replies reach the line,
// and the pace the programs must keep with the recorder.
#pragma once

#include "comm/CommPort.h"
#include "link/serial.h"

#include <gtest/gtest.h>

#include <string>

struct PaceCase {
    unsigned chunkBytes; // bytes per write: 1 a bare UART, 8 or 14 a FIFO, 64 a USB packet
    bool busy;           // every core taken by a spinning thread meanwhile
};

inline std::string PaceCaseName(const ::testing::TestParamInfo<PaceCase>& param) {
    return "Chunk" + std::to_string(param.param.chunkBytes) + (param.param.busy ? "Busy" : "");
}

// The recorder's pace: a fixed reply wait in steps, one resend after a pause, the port's status
// pause, and the stop of the link thread.
inline void ExpectRecorderPace(const SerialTiming& timing) {
    EXPECT_EQ(timing.ReplyWait, 3000u);
    EXPECT_EQ(timing.ReplyStep, 100u);
    EXPECT_EQ(timing.ResendPause, 400u);
    EXPECT_EQ(timing.StopPause, 50u);
    EXPECT_EQ(timing.StopLockWait, 5000u);
    EXPECT_EQ(timing.Clock, &plat::Now);
    EXPECT_EQ(TCommPortTiming{}.StatusPauseMs, 50u);
}
