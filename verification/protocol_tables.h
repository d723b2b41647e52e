// Tables 1 to 7 of the verification protocol: the set, measured and error values of every
// measured test signal and event against its limit, an error beyond its limit marked in gold.
// The builders only append lines to the protocol's line list and read the records they are given,
// so they can be driven without the main form.
#pragma once

#include "verification/signals.h"

#include <string>
#include <vector>

// One entry per line of the protocol file, UTF-8 until the file is written.
using ProtocolLines = std::vector<std::string>;

inline constexpr const char* PassText = "<B>соответствует требованиям ТУ</B>";
inline constexpr const char* FailText = "<B><SPAN>не соответствует</SPAN> требованиям ТУ</B>";
inline constexpr const char* VerdictText = "<B>Вывод: </B>";
inline constexpr const char* TableStart = "<TABLE CELLSPACING=0 CELLPADDING=0 BORDER=1>";

// The limits as they stand when the protocol is written.
struct ProtocolLimits {
    float deviationU = BaseLimitDeviationU;
    float deviationF = BaseLimitDeviationF;
    float harmonicAbs = BaseLimitHarmonicAbs;
    float harmonicRel = BaseLimitHarmonicRel;
    float swellFactor = BaseLimitSwellFactor;
    float dipDepth = BaseLimitDipDepth;
    float eventDuration = BaseLimitEventDuration;
};

// The program-wide effective limits.
ProtocolLimits CurrentProtocolLimits();

// The fixed texts of one of tables 1, 2, 4, 5, 6 and 7, each a whole line.
struct ResultTableTexts {
    const char* caption;
    const char* errorHeader;
    const char* limitHeader;
    const char* setHeader;
    const char* measuredHeader;
};

struct ResultTableRow {
    int number; // as shown: record index + 1
    float set;
    float measured;
    float error;
};

// One table of the common layout with its verdict line (none without rows). Returns whether
// every error is within the limit.
bool AppendResultTable(ProtocolLines& lines, const ResultTableTexts& texts,
                       const std::vector<ResultTableRow>& rows, float limit, int decimals);

// Table 3: K_U(n) of the measured signals, two to a page; nothing at all when none was measured.
// Returns whether every harmonic error is within its limit.
bool AppendHarmonicTable(ProtocolLines& lines, const std::vector<const SignalRecord*>& measured,
                         float limitAbs, float limitRel);

// Tables 1 to 7 in order. Returns whether every table passed.
bool AppendResultTables(ProtocolLines& lines, const std::array<SignalRecord, SignalCount>& steady,
                        const std::array<EventSignalRecord, EventSignalCount>& events,
                        const ProtocolLimits& limits);
