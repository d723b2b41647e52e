// The test signals of a verification: their set values from signals.ini, the measured values and
// errors of the run, the description texts and the pass/fail limits.
//
// Voltages are relative to 220 V and frequencies to 50 Hz. The tables live for the whole run and
// are read and written directly by the result handler, the two measurement pages and the
// protocol writer.
#pragma once

#include <array>
#include <string>

inline constexpr int SignalCount = 6;    // steady signals: sections signal1..signal6
inline constexpr int HarmonicCount = 51; // K_U(n), n = 0..50

// The events, sections signal7..signal14 in this order: the temporary overvoltages first, then
// the dips. Every reader of EventSignals finds an event's kind here.
inline constexpr int SwellCount = 4;
inline constexpr int DipCount = 4;
inline constexpr int FirstSwell = 0;
inline constexpr int FirstDip = FirstSwell + SwellCount;
inline constexpr int EventSignalCount = SwellCount + DipCount;

inline constexpr float NominalVoltage = 220.0f;  // V
inline constexpr float NominalFrequency = 50.0f; // Hz

// A harmonic whose set coefficient is at least this (in % of 220 V) has a relative error in %;
// below it the error is absolute, in percentage points.
inline constexpr float RelativeHarmonicThreshold = 3.0f;

struct SignalRecord {
    float setVoltage = 0;                                // V, key "u"
    float setFrequency = 0;                              // Hz, key "f"
    float setDeviationU = 0;                             // %: (setVoltage / 220 - 1) x 100
    float setDeviationF = 0;                             // Hz: setFrequency - 50
    std::array<float, HarmonicCount> setHarmonic{};      // %, keys "k0".."k50"
    std::array<float, HarmonicCount> setInterharmonic{}; // keys "ih0".."ih50"
    float measDeviationU = 0;                            // %
    float measDeviationF = 0;                            // Hz
    std::array<float, HarmonicCount> measHarmonicV{};    // V
    std::array<float, HarmonicCount> measInterharmonic{};
    float errDeviationU = 0; // %
    float errDeviationF = 0; // Hz
    // Absolute (percentage points) when setHarmonic[n] < 3, relative (%) otherwise.
    std::array<float, HarmonicCount> errHarmonic{};
    std::string description; // UTF-8, four lines joined by '\n'; shown by "Показать"
    bool measured = false;
};

struct EventSignalRecord {
    float setVoltage = 0;   // V during the event
    float setDuration = 0;  // ms, key "t"
    float setLevel = 0;     // K_перU (key "k") for an overvoltage, dip depth in % (key "du")
    float measDuration = 0; // ms; 0: the recorder registered no event
    float measLevel = 0;
    float errDuration = 0; // measDuration - setDuration
    float errLevel = 0;    // measLevel - setLevel
    bool measured = false; // a usable result: the recorder registered the event
};

extern std::array<SignalRecord, SignalCount> Signals;
extern std::array<EventSignalRecord, EventSignalCount> EventSignals;

// Base values; the first four are tightened for primary verification by ScaleSignalLimits.
inline constexpr float BaseLimitDeviationU = 0.5f;   // %
inline constexpr float BaseLimitDeviationF = 0.05f;  // Hz
inline constexpr float BaseLimitHarmonicAbs = 0.15f; // percentage points
inline constexpr float BaseLimitHarmonicRel = 5.0f;  // % of the set value
inline constexpr float BaseLimitSwellFactor = 0.022f;
inline constexpr float BaseLimitDipDepth = 1.0f;       // %
inline constexpr float BaseLimitEventDuration = 10.0f; // ms
inline constexpr double PrimaryLimitFactor = 0.8;

// Effective limits: an error passes when |error| <= limit and fails when strictly greater.
extern float LimitDeviationU;
extern float LimitDeviationF;
extern float LimitHarmonicAbs;
extern float LimitHarmonicRel;
extern float LimitSwellFactor;
extern float LimitDipDepth;
extern float LimitEventDuration;

// The current directory followed by "/signals.ini".
std::string SignalsFileName();

// Reads the file into both tables and computes the set deviations and the descriptions; every
// measured value, error and flag goes back to 0. A missing section, key or unreadable number
// (numbers are converted with the decimal separator in force; one beyond single precision counts
// as unreadable) reads as 0, a missing text as empty. Returns false and loads nothing when no
// file exists at fileName.
bool LoadSignals(const std::string& fileName);

// periodic = FPeriodic: 0 primary (the four signal limits become base x 0.8), 1 periodic (base
// values). Derived from the base values every time, so a repeated call never tightens twice.
void ScaleSignalLimits(int periodic);

// The four-line description of a steady signal; msg1 and msg2 are UTF-8.
std::string BuildSignalDescription(const SignalRecord& signal, const std::string& msg1,
                                   const std::string& msg2);

// Whether an error fails: |error| strictly greater than its limit; an error that is not a number
// (a garbled reading) exceeds every limit. The signal page and the protocol's tables judge every
// error, of the test signals and of the events alike, through this one function.
bool ExceedsLimit(float error, float limit);
bool IsRelativeHarmonic(float setHarmonic);
// The limit of a harmonic with this set value: limitRel from 3 % on, limitAbs below.
float HarmonicLimit(float setHarmonic, float limitAbs, float limitRel);
// errDeviationU, errDeviationF, or any harmonic order 0..lastOrder beyond its limit in force.
bool SignalFails(const SignalRecord& signal, int lastOrder = HarmonicCount - 1);
bool IsSwell(int eventIndex);
