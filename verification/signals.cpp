#include "verification/signals.h"

#include "platform/Cp1251.h"
#include "platform/Formats.h"
#include "platform/IniFile.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

std::array<SignalRecord, SignalCount> Signals;
std::array<EventSignalRecord, EventSignalCount> EventSignals;

float LimitDeviationU = BaseLimitDeviationU;
float LimitDeviationF = BaseLimitDeviationF;
float LimitHarmonicAbs = BaseLimitHarmonicAbs;
float LimitHarmonicRel = BaseLimitHarmonicRel;
float LimitSwellFactor = BaseLimitSwellFactor;
float LimitDipDepth = BaseLimitDipDepth;
float LimitEventDuration = BaseLimitEventDuration;

namespace {

std::string SectionName(int number) {
    return "signal" + std::to_string(number);
}

// A number beyond single precision would turn into an infinity in every later computation and
// protocol cell; it is treated like any other unreadable number.
float ReadNumber(const plat::TIniFile& ini, const std::string& section, const std::string& key) {
    const double value = ini.ReadFloat(section, key, 0.0);
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return 0.0f;
    return static_cast<float>(value);
}

std::string ReadText(const plat::TIniFile& ini, const std::string& section, const char* key) {
    return plat::Cp1251ToUtf8(ini.ReadString(section, key, ""));
}

// A number in a signal's description.
std::string DescriptionNumber(float value) {
    return plat::FloatToStrF(value, plat::ffFixed, 4, 2);
}

void LoadSignal(const plat::TIniFile& ini, int index) {
    const std::string section = SectionName(index + 1);
    SignalRecord& s = Signals[static_cast<std::size_t>(index)];
    s = SignalRecord{};
    s.setVoltage = ReadNumber(ini, section, "u");
    s.setFrequency = ReadNumber(ini, section, "f");
    const long double perVolt = 1.0L / 220.0L;
    s.setDeviationU = static_cast<float>((s.setVoltage * perVolt - 1.0L) * 100.0L);
    s.setDeviationF = s.setFrequency - NominalFrequency;
    for (std::size_t n = 0; n < HarmonicCount; ++n) {
        s.setHarmonic[n] = ReadNumber(ini, section, "k" + std::to_string(n));
    }
    for (std::size_t n = 0; n < HarmonicCount; ++n) {
        s.setInterharmonic[n] = ReadNumber(ini, section, "ih" + std::to_string(n));
    }
    const std::string msg2 = ReadText(ini, section, "msg2");
    const std::string msg1 = ReadText(ini, section, "msg1");
    s.description = BuildSignalDescription(s, msg1, msg2);
}

// The events' sections follow the steady signals' ones, in the order of EventSignals.
std::string EventSectionName(int entry) {
    return SectionName(SignalCount + 1 + entry);
}

void LoadSwell(const plat::TIniFile& ini, int index) {
    const int entry = FirstSwell + index;
    const std::string section = EventSectionName(entry);
    EventSignalRecord& e = EventSignals[static_cast<std::size_t>(entry)];
    e = EventSignalRecord{};
    e.setLevel = ReadNumber(ini, section, "k");
    e.setDuration = ReadNumber(ini, section, "t");
    e.setVoltage = static_cast<float>(static_cast<long double>(e.setLevel) * 220.0L);
}

void LoadDip(const plat::TIniFile& ini, int index) {
    const int entry = FirstDip + index;
    const std::string section = EventSectionName(entry);
    EventSignalRecord& e = EventSignals[static_cast<std::size_t>(entry)];
    e = EventSignalRecord{};
    e.setLevel = ReadNumber(ini, section, "du");
    e.setDuration = ReadNumber(ini, section, "t");
    e.setVoltage =
        static_cast<float>((1.0L - static_cast<long double>(e.setLevel) * 0.01L) * 220.0L);
}

} // namespace

std::string SignalsFileName() {
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::current_path(error);
    return (dir / "signals.ini").string();
}

bool LoadSignals(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) return false;
    const plat::TIniFile ini(fileName);
    for (int i = 0; i < SignalCount; ++i)
        LoadSignal(ini, i);
    for (int j = 0; j < SwellCount; ++j)
        LoadSwell(ini, j);
    for (int j = 0; j < DipCount; ++j)
        LoadDip(ini, j);
    return true;
}

void ScaleSignalLimits(int periodic) {
    const double factor = periodic == 0 ? PrimaryLimitFactor : 1.0;
    LimitDeviationU = static_cast<float>(BaseLimitDeviationU * factor);
    LimitDeviationF = static_cast<float>(BaseLimitDeviationF * factor);
    LimitHarmonicAbs = static_cast<float>(BaseLimitHarmonicAbs * factor);
    LimitHarmonicRel = static_cast<float>(BaseLimitHarmonicRel * factor);
}

std::string BuildSignalDescription(const SignalRecord& signal, const std::string& msg1,
                                   const std::string& msg2) {
    std::string text = "\u03B4U = " + DescriptionNumber(signal.setDeviationU) + "% (" +
                       DescriptionNumber(signal.setVoltage) + " В)\n";
    text += "\u0394f = " + DescriptionNumber(signal.setDeviationF) + " Гц (" +
            DescriptionNumber(signal.setFrequency) + " Гц)\n";
    text += msg1 + "\n" + msg2;
    return text;
}

bool ExceedsLimit(float error, float limit) {
    return !(std::fabs(error) <= limit);
}

bool IsRelativeHarmonic(float setHarmonic) {
    return setHarmonic >= RelativeHarmonicThreshold;
}

float HarmonicLimit(float setHarmonic, float limitAbs, float limitRel) {
    return IsRelativeHarmonic(setHarmonic) ? limitRel : limitAbs;
}

bool SignalFails(const SignalRecord& signal, int lastOrder) {
    if (ExceedsLimit(signal.errDeviationU, LimitDeviationU)) return true;
    if (ExceedsLimit(signal.errDeviationF, LimitDeviationF)) return true;
    for (int n = 0; n <= lastOrder && n < HarmonicCount; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const float limit =
            HarmonicLimit(signal.setHarmonic[i], LimitHarmonicAbs, LimitHarmonicRel);
        if (ExceedsLimit(signal.errHarmonic[i], limit)) return true;
    }
    return false;
}

bool IsSwell(int eventIndex) {
    return eventIndex >= FirstSwell && eventIndex < FirstSwell + SwellCount;
}
