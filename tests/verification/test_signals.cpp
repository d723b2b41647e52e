// Reading signals.ini into the test-signal tables, the description texts and the limits.
#include "WizardTest.h"

#include "verification/signals.h"

#include "platform/Cp1251.h"
#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The scratch folder's own file, read with '.' in force as the wizard reads it.
class SignalsFile : public WizardTest {
protected:
    // The text is UTF-8 here and stored in code page 1251, as the file is shipped.
    void Write(const std::string& utf8) const {
        std::ofstream(dir_ / "s.ini", std::ios::binary) << plat::Utf8ToCp1251(utf8);
    }
    bool Load() const { return LoadSignals((dir_ / "s.ini").string()); }
};

TEST_F(SignalsFile, MissingOrEmptyFile) {
    Signals[2].setVoltage = 123.0f;
    EXPECT_FALSE(Load()); // no file: nothing loaded
    EXPECT_EQ(Signals[2].setVoltage, 123.0f);

    Write("");
    Signals[2].measured = true;
    Signals[2].errHarmonic[7] = 3.0f;
    EventSignals[1].measured = true;
    ASSERT_TRUE(Load());
    for (const SignalRecord& s : Signals) {
        EXPECT_FLOAT_EQ(s.setDeviationU, -100.0f);
        EXPECT_FLOAT_EQ(s.setDeviationF, -50.0f);
        EXPECT_FALSE(s.measured);
        EXPECT_EQ(s.errHarmonic[7], 0.0f);
        EXPECT_EQ(s.description, "\u03B4U = -100.00% (0.00 В)\n\u0394f = -50.00 Гц (0.00 Гц)\n\n");
    }
    for (int i = 0; i < EventSignalCount; ++i) {
        const EventSignalRecord& e = EventSignals[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.setVoltage, i < SwellCount ? 0.0f : 220.0f) << i;
        EXPECT_EQ(e.setDuration, 0.0f);
        EXPECT_FALSE(e.measured);
    }
}

TEST_F(SignalsFile, ReadsSignalsEventsAndDescription) {
    Write("[signal2]\r\nu = 230 \r\nf=50.5\r\nk3=5\r\nk50=1.25\r\nih2=0.3\r\n"
          "msg1=Сигнал с гармониками\r\nmsg2=ГМ6.220: режим 2\r\n"
          "[signal7]\nk=1.2\nt=100\n[signal14]\ndu=90\nt=1000\n[signal8]\ndu=30\n");
    ASSERT_TRUE(Load());
    const SignalRecord& s = Signals[1];
    EXPECT_NEAR(s.setDeviationU, 4.5454545f, 1e-5f);
    EXPECT_FLOAT_EQ(s.setDeviationF, 0.5f);
    EXPECT_FLOAT_EQ(s.setHarmonic[3], 5.0f);
    EXPECT_FLOAT_EQ(s.setHarmonic[50], 1.25f);
    EXPECT_FLOAT_EQ(s.setInterharmonic[2], 0.3f);
    EXPECT_EQ(s.description, "\u03B4U = 4.55% (230.00 В)\n\u0394f = 0.50 Гц (50.50 Гц)\n"
                             "Сигнал с гармониками\nГМ6.220: режим 2");
    EXPECT_FLOAT_EQ(EventSignals[0].setVoltage, 264.0f);
    EXPECT_FLOAT_EQ(EventSignals[0].setDuration, 100.0f);
    EXPECT_FLOAT_EQ(EventSignals[7].setLevel, 90.0f);
    EXPECT_FLOAT_EQ(EventSignals[7].setVoltage, 22.0f);
    EXPECT_EQ(EventSignals[1].setLevel, 0.0f); // a dip key in an overvoltage section
}

TEST_F(SignalsFile, BadNumbersReadAsZeroAndNamesIgnoreCase) {
    Write("[SIGNAL1]\nU=221\nF=\nK1=abc\nk2=1e39\nk3=nan\nk4=2.5x\n"
          "[signal3]\nu=220,5\nf=49.5\n[signal4]\nu\nf=50\n");
    ASSERT_TRUE(Load());
    EXPECT_FLOAT_EQ(Signals[0].setVoltage, 221.0f);
    EXPECT_EQ(Signals[0].setFrequency, 0.0f);
    for (std::size_t n : {1u, 2u, 3u, 4u})
        EXPECT_EQ(Signals[0].setHarmonic[n], 0.0f) << n;
    EXPECT_EQ(Signals[2].setVoltage, 0.0f); // decimal comma
    EXPECT_FLOAT_EQ(Signals[2].setFrequency, 49.5f);
    EXPECT_EQ(Signals[3].setVoltage, 0.0f);
    EXPECT_FLOAT_EQ(Signals[3].setFrequency, 50.0f);
}

TEST_F(SignalsFile, ShippedFileIsComplete) {
    const std::filesystem::path shipped =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "verification" /
        "signals.ini";
    ASSERT_TRUE(LoadSignals(shipped.string()));
    for (const SignalRecord& s : Signals) {
        EXPECT_GT(s.setVoltage, 150.0f);
        EXPECT_GT(s.setFrequency, 45.0f);
        EXPECT_EQ(std::count(s.description.begin(), s.description.end(), '\n'), 3);
    }
    for (const EventSignalRecord& e : EventSignals) {
        EXPECT_GT(e.setLevel, 0.0f);
        EXPECT_GT(e.setDuration, 0.0f);
    }
}

// Primary verification tightens the steady limits to 80 % once, however often it is chosen;
// only an error strictly beyond its limit fails, and the harmonic limit turns relative at 3 %.
TEST(SignalLimits, ScaledForPrimaryOnlyAndStrictlyGreaterFails) {
    ResetSignals();
    ScaleSignalLimits(0);
    ScaleSignalLimits(0);
    EXPECT_EQ(LimitDeviationU, static_cast<float>(0.5f * 0.8));
    EXPECT_EQ(LimitHarmonicRel, 4.0f);
    ScaleSignalLimits(1);
    EXPECT_EQ(LimitDeviationU, 0.5f);
    EXPECT_EQ(LimitHarmonicRel, 5.0f);
    ResetSignals();

    EXPECT_FALSE(ExceedsLimit(0.05f, 0.05f));
    EXPECT_FALSE(ExceedsLimit(-0.05f, 0.05f));
    EXPECT_TRUE(ExceedsLimit(std::nextafter(0.05f, 1.0f), 0.05f));
    EXPECT_TRUE(ExceedsLimit(std::nanf(""), 0.05f));
    EXPECT_TRUE(ExceedsLimit(-10.5f, 10.0f));
    EXPECT_EQ(HarmonicLimit(3.0f, 0.15f, 5.0f), 5.0f);
    EXPECT_EQ(HarmonicLimit(2.99f, 0.15f, 5.0f), 0.15f);
}

} // namespace
