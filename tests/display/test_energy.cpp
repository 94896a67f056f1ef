// Energy gauge: ramp rows, level scaling, full and frame redraws.

#include "TestUtil.h"

#include "display/EnergyGauge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testutil::AllColour;
using testutil::Rgb;
using testutil::SameBlock;
using testutil::Solid;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

// The colour of ramp step i for high/low given as (r, g, b): low + trunc(i x d), d a float.
QRgb Step(int i, const int high[3], const int low[3]) {
    int c[3];
    for (int k = 0; k < 3; ++k) {
        const float d = static_cast<float>(high[k] - low[k]) / 130.0f;
        c[k] = low[k] + static_cast<int>(static_cast<float>(i) * d);
    }
    return qRgb(c[0], c[1], c[2]);
}

class EnergyGaugeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gauge.Create(10, 43, 40, 300));
        gauge.SetColors(0x1E64C8, 0x20B40A); // high (200, 100, 30), low (10, 180, 32)
    }
    EnergyGauge gauge;
    const int high[3] = {200, 100, 30};
    const int low[3] = {10, 180, 32};
    QImage client = Solid(300, 380, 240, 240, 240);
};

} // namespace

TEST_F(EnergyGaugeTest, RampRowsPairUpFromTheLowColourAtTheBottom) {
    const QImage ramp = gauge.Ramp();
    ASSERT_EQ(ramp.size(), QSize(30, 257));
    EXPECT_TRUE(AllColour(ramp, QRect(0, 0, 30, 1), kWhite));
    EXPECT_TRUE(AllColour(ramp, QRect(0, 256, 30, 1), kWhite));
    for (int row = 1; row <= 255; ++row) {
        SCOPED_TRACE(row);
        const int step = (256 - row + 1) / 2 - 1; // ceil((2N - r) / 2) - 1
        EXPECT_TRUE(AllColour(ramp, QRect(0, row, 30, 1), Step(step, high, low)));
    }
    // Not quite the high colour at the top: 10 + trunc(127 x 190 / 130) = 195.
    EXPECT_EQ(Rgb(ramp.pixel(5, 1)), Rgb(qRgb(195, 102, 31)));
}

TEST_F(EnergyGaugeTest, SetLevelScalesAndClamps) {
    const struct {
        float in;
        int level;
    } cases[] = {{1.0f, 253}, {0.5f, 126},   {2.0f, 253},
                 {-1.0f, 0},  {0.999f, 252}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        gauge.SetLevel(c.in);
        EXPECT_EQ(gauge.Level(), c.level);
    }
}
