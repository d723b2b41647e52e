// Decoding of the measurement registers and the rounding applied to them.
#include "LinkFixture.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

} // namespace

TEST(SerialRoundTo, HalvesNegativesAndNonFinite) {
    EXPECT_EQ(Serial::RoundTo(2.675f, 2), 2.67f); // the single lies below 2.675
    EXPECT_EQ(Serial::RoundTo(1.235f, 2), 1.24f);
    EXPECT_EQ(Serial::RoundTo(0.0215f, 3), 0.022f);
    // A negative value rounds as its magnitude does.
    EXPECT_EQ(Serial::RoundTo(-1.234f, 2), -1.23f);
    EXPECT_EQ(Serial::RoundTo(-1.235f, 2), -1.24f);
    EXPECT_EQ(Serial::RoundTo(-2.675f, 2), -2.67f);
    EXPECT_FALSE(std::signbit(Serial::RoundTo(-0.001f, 2)));
    const float qnan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Bits(Serial::RoundTo(qnan, 2)), Bits(qnan));
    EXPECT_EQ(Serial::RoundTo(-inf, 3), -inf);
}

TEST_F(LinkTest, MeasurementsDecodedAndRoundedByIndex) {
    MakeLink(SerialRequestSet::Wizard);
    for (int k = 0; k < MeasurementCount; ++k)
        sim.SetMeasurement(k, 1.23456f);
    sim.SetMeasurementBits(0, 0x7FC00000); // NaN
    sim.SetMeasurementBits(1, 0x3F800000); // 1.0
    ASSERT_EQ(Run(10, 10), Codes{10});
    Measurements m{};
    link->GetMeasurements(m);
    EXPECT_EQ(Bits(m[0]), 0x7FC00000u);
    EXPECT_EQ(m[1], 1.0f);
    for (int k = 2; k < MeasurementCount; ++k) {
        float expected = 1.23f;
        if (k == 102 || k == 109 || k == 112) expected = 1.23456f;
        if (k == 104 || k == 106 || k == 108 || k == 110 || k == 111 || k == 113 || k == 114)
            expected = 1.235f;
        EXPECT_EQ(m[k], expected) << k;
    }
}

TEST_F(LinkTest, SignalAndEventResults) {
    MakeLink(SerialRequestSet::Wizard);
    for (int i = 0; i < 51; ++i) {
        sim.SetMeasurement(i, static_cast<float>(i) + 0.25f);
        sim.SetMeasurement(51 + i, static_cast<float>(i) + 0.5f);
    }
    sim.SetMeasurement(105, -1.235f);
    sim.SetMeasurement(108, 0.0123f);
    sim.SetMeasurement(110, 0.0215f); // a dip of 0.022 s after rounding
    sim.SetMeasurement(111, 45.6789f);
    sim.SetMeasurement(113, 1.5f);
    sim.SetMeasurement(114, 1.23456f);
    ASSERT_EQ(Run(10, 10), Codes{10});
    float du = 0;
    float df = 0;
    std::array<float, 51> harmonics{};
    std::array<float, 51> second{};
    link->GetSignalResults(du, df, harmonics, second);
    EXPECT_EQ(du, -1.24f);
    EXPECT_EQ(df, 0.012f);
    EXPECT_EQ(harmonics[50], 50.25f);
    EXPECT_EQ(second[0], 0.5f);
    EXPECT_EQ(second[50], 50.5f);
    float duration = 0;
    float level = 0;
    link->GetEventResults(false, duration, level);
    EXPECT_EQ(duration, 22.0f);
    EXPECT_EQ(level, 45.679f);
    link->GetEventResults(true, duration, level);
    EXPECT_EQ(duration, 1500.0f);
    EXPECT_EQ(level, 1.235f);
}
