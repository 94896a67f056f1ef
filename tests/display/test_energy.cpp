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
    // The named rows, worked out by hand: not quite the high colour at the top, since
    // 10 + trunc(127 x 190 / 130) = 195 and 180 + trunc(127 x -80 / 130) = 102.
    EXPECT_EQ(Rgb(ramp.pixel(5, 255)), Rgb(qRgb(10, 180, 32)));
    EXPECT_EQ(Rgb(ramp.pixel(5, 254)), Rgb(qRgb(10, 180, 32)));
    EXPECT_EQ(Rgb(ramp.pixel(5, 253)), Rgb(qRgb(11, 180, 32)));
    EXPECT_EQ(Rgb(ramp.pixel(5, 129)), Rgb(qRgb(102, 142, 32))); // step 63
    EXPECT_EQ(Rgb(ramp.pixel(5, 3)), Rgb(qRgb(194, 103, 31)));
    EXPECT_EQ(Rgb(ramp.pixel(5, 2)), Rgb(qRgb(194, 103, 31)));
    EXPECT_EQ(Rgb(ramp.pixel(5, 1)), Rgb(qRgb(195, 102, 31)));
}

TEST_F(EnergyGaugeTest, EqualColoursGiveASingleColourBar) {
    gauge.SetColors(0x336699, 0x336699);
    const QImage ramp = gauge.Ramp();
    EXPECT_TRUE(AllColour(ramp, QRect(0, 1, 30, 255), qRgb(0x99, 0x66, 0x33)));
}

TEST_F(EnergyGaugeTest, SetLevelScalesAndClamps) {
    const struct {
        float in;
        int level;
    } cases[] = {{1.0f, 253},
                 {0.5f, 126},
                 {2.0f, 253},
                 {-1.0f, 0},
                 {0.0f, 0},
                 {0.999f, 252},
                 {std::numeric_limits<float>::quiet_NaN(), 0},
                 {std::numeric_limits<float>::infinity(), 253}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        gauge.SetLevel(c.in);
        EXPECT_EQ(gauge.Level(), c.level);
    }
}

TEST_F(EnergyGaugeTest, FullRedrawAtFullLevel) {
    gauge.SetLevel(1.0f);
    const ChangedRects rects = gauge.Draw(client, true);
    ASSERT_EQ(rects.Count(), 1);
    EXPECT_EQ(rects[0], QRect(10, 43, 30, 257));
    const QImage ramp = gauge.Ramp();
    // Bar rows 2..254 from the ramp, inside the two-pixel edge.
    EXPECT_TRUE(SameBlock(client, 12, 45, ramp, 2, 2, 26, 253));
    EXPECT_EQ(Rgb(client.pixel(10, 43)), Rgb(qRgb(128, 128, 128)));
    EXPECT_EQ(Rgb(client.pixel(39, 299)), Rgb(kWhite));
    EXPECT_EQ(Rgb(client.pixel(38, 298)), Rgb(qRgb(227, 227, 227)));
    EXPECT_EQ(Rgb(client.pixel(9, 100)), Rgb(qRgb(240, 240, 240)));
}

TEST_F(EnergyGaugeTest, FullRedrawAtEmptyAndMiddleLevels) {
    gauge.Draw(client, true);
    EXPECT_TRUE(AllColour(client, QRect(12, 45, 26, 253), kWhite));
    gauge.SetLevel(0.5f); // 126 rows: 129..254
    gauge.Draw(client, true);
    EXPECT_TRUE(AllColour(client, QRect(12, 45, 26, 127), kWhite));
    EXPECT_TRUE(SameBlock(client, 12, 43 + 129, gauge.Ramp(), 2, 129, 26, 126));
}

TEST_F(EnergyGaugeTest, FrameRedrawTouchesOnlyTheRowsBetweenOldAndNewTop) {
    gauge.Draw(client, true);
    // Rise from 0 to 100: rows 155..254 copied from the ramp.
    gauge.SetLevel(100.0f / 253.0f + 1e-4f);
    ASSERT_EQ(gauge.Level(), 100);
    QImage before = client.copy();
    ChangedRects rects = gauge.Draw(client, false);
    ASSERT_EQ(rects.Count(), 1);
    EXPECT_EQ(rects[0], QRect(12, 43 + 155, 26, 100));
    EXPECT_TRUE(SameBlock(client, 12, 198, gauge.Ramp(), 2, 155, 26, 100));
    EXPECT_TRUE(SameBlock(client, 0, 0, before, 0, 0, 300, 198));
    // Fall from 100 to 40: rows 155..214 become white.
    gauge.SetLevel(40.0f / 253.0f + 1e-4f);
    rects = gauge.Draw(client, false);
    ASSERT_EQ(rects.Count(), 1);
    EXPECT_EQ(rects[0], QRect(12, 43 + 155, 26, 60));
    EXPECT_TRUE(AllColour(client, QRect(12, 198, 26, 60), kWhite));
    EXPECT_TRUE(SameBlock(client, 12, 258, gauge.Ramp(), 2, 215, 26, 40));
    // The same level again: nothing copied, nothing changed.
    before = client.copy();
    rects = gauge.Draw(client, false);
    EXPECT_TRUE(rects.Empty());
    EXPECT_EQ(client, before);
}
