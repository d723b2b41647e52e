// Decoding of the measurement registers and the rounding applied to them.
#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

class SerialDecoding : public ::testing::Test {
protected:
    void ReadMeasurements() {
        link.PostCommand(RequestReadMeasurements);
        ASSERT_TRUE(log.WaitFor(ResultMeasurementsRead));
    }

    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    Serial link{log.Handle(), host, SerialRequestSet::Wizard, FastTiming()};
};

} // namespace

TEST(SerialRoundTo, HalvesAndSinglePrecisionInputs) {
    EXPECT_EQ(Serial::RoundTo(2.675f, 2), 2.67f); // the single lies below 2.675
    EXPECT_EQ(Serial::RoundTo(1.234f, 2), 1.23f);
    EXPECT_EQ(Serial::RoundTo(1.235f, 2), 1.24f);
    EXPECT_EQ(Serial::RoundTo(0.0215f, 3), 0.022f);
    EXPECT_EQ(Serial::RoundTo(2.5f, 0), 3.0f);
    EXPECT_EQ(Serial::RoundTo(0.0f, 3), 0.0f);
    EXPECT_EQ(Serial::RoundTo(230.0049f, 2), 230.0f);
}

TEST(SerialRoundTo, NegativeValuesRoundTheirMagnitude) {
    EXPECT_EQ(Serial::RoundTo(-1.234f, 2), -1.23f);
    EXPECT_EQ(Serial::RoundTo(-1.235f, 2), -1.24f);
    EXPECT_EQ(Serial::RoundTo(-2.675f, 2), -2.67f);
    EXPECT_EQ(Serial::RoundTo(-0.0215f, 3), -0.022f);
    EXPECT_EQ(Serial::RoundTo(-49.996f, 2), -50.0f);
}

TEST(SerialRoundTo, NanAndInfinityPassThrough) {
    const float qnan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(Bits(Serial::RoundTo(qnan, 2)), Bits(qnan));
    EXPECT_EQ(Serial::RoundTo(std::numeric_limits<float>::infinity(), 3),
              std::numeric_limits<float>::infinity());
    EXPECT_EQ(Serial::RoundTo(-std::numeric_limits<float>::infinity(), 3),
              -std::numeric_limits<float>::infinity());
    // Far beyond any measured value: no trap, some finite result.
    EXPECT_TRUE(std::isfinite(Serial::RoundTo(3.0e38f, 3)));
    EXPECT_TRUE(std::isfinite(Serial::RoundTo(-3.0e38f, 3)));
}

TEST_F(SerialDecoding, RegistersToValues) {
    sim.SetMeasurementBits(0, 0x7FC00000); // NaN
    sim.SetMeasurementBits(1, 0x3F800000); // 1.0
    sim.SetMeasurement(50, 1.23456f);
    sim.SetMeasurement(102, 1.23456f); // never rounded
    sim.SetMeasurement(104, 1.23456f); // 3 decimals
    sim.SetMeasurement(109, -7.77777f);
    sim.SetMeasurement(112, 0.00049f);
    sim.SetMeasurement(113, 0.0004f);
    ReadMeasurements();
    Measurements m{};
    link.GetMeasurements(m);
    EXPECT_EQ(Bits(m[0]), 0x7FC00000u);
    EXPECT_EQ(m[1], 1.0f);
    EXPECT_EQ(m[50], 1.23f);
    EXPECT_EQ(m[102], 1.23456f);
    EXPECT_EQ(m[104], 1.235f);
    EXPECT_EQ(m[109], -7.77777f);
    EXPECT_EQ(m[112], 0.00049f);
    EXPECT_EQ(m[113], 0.0f);
}

TEST_F(SerialDecoding, SignalResults) {
    for (int i = 0; i < 51; ++i) {
        sim.SetMeasurement(i, static_cast<float>(i) + 0.111f);
        sim.SetMeasurement(51 + i, static_cast<float>(i) + 0.5f);
    }
    sim.SetMeasurement(105, -1.235f);
    sim.SetMeasurement(108, 0.0123f);
    ReadMeasurements();
    float du = 0;
    float df = 0;
    std::array<float, 51> harmonics{};
    std::array<float, 51> second{};
    link.GetSignalResults(du, df, harmonics, second);
    EXPECT_EQ(du, -1.24f);
    EXPECT_EQ(df, 0.012f);
    EXPECT_EQ(harmonics[0], 0.11f);
    EXPECT_EQ(harmonics[50], 50.11f);
    EXPECT_EQ(second[0], 0.5f);
    EXPECT_EQ(second[50], 50.5f);
}

TEST_F(SerialDecoding, EventResultsInMilliseconds) {
    sim.SetMeasurement(110, 0.0215f); // dip: 0.022 s after rounding
    sim.SetMeasurement(111, 45.6789f);
    sim.SetMeasurement(113, 1.5f);
    sim.SetMeasurement(114, 1.23456f);
    ReadMeasurements();
    float duration = 0;
    float level = 0;
    link.GetEventResults(false, duration, level);
    EXPECT_EQ(duration, 22.0f);
    EXPECT_EQ(level, 45.679f);
    link.GetEventResults(true, duration, level);
    EXPECT_EQ(duration, 1500.0f);
    EXPECT_EQ(level, 1.235f);
}
