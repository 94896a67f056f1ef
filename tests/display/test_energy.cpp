// Energy gauge: the bar rises from the bottom, cut from a ramp of colour pairs running from the
// low colour up towards the high one.

#include "TestUtil.h"

#include "display/EnergyGauge.h"

#include <gtest/gtest.h>

#include <limits>

TEST(EnergyGauge, TheBarRisesByTheLevelInTheRampsColourPairs) {
    EnergyGauge gauge; // 30 x 257: rows 2 to 254 lie inside the sunken edge, which stays
    ASSERT_TRUE(gauge.Create(10, 43, 40, 300));
    gauge.SetColors(0x1E64C8, 0x20B40A); // high (200, 100, 30), low (10, 180, 32)
    // Gauge row r shows ramp step ceil((2 x 128 - r) / 2) - 1 of 130: low + trunc(step x d).
    auto ramp = [](int row) {
        const int step = (257 - row) / 2 - 1;
        const int high[3] = {200, 100, 30}, low[3] = {10, 180, 32};
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = low[k] + static_cast<int>(static_cast<float>(step) *
                                             (static_cast<float>(high[k] - low[k]) / 130.0f));
        return qRgb(c[0], c[1], c[2]);
    };
    const struct {
        float in;
        int rows; // bar height: level x (257 - 4), clamped
    } cases[] = {{1.0f, 253}, {0.5f, 126},   {2.0f, 253},
                 {-1.0f, 0},  {0.999f, 252}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    QImage empty = testutil::Solid(300, 380, 240, 240, 240);
    gauge.Draw(empty, true); // level 0: the edge as it stays
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        gauge.SetLevel(c.in);
        QImage client = testutil::Solid(300, 380, 240, 240, 240);
        gauge.Draw(client, true);
        for (int row = 0; row <= 256; ++row) {
            const QRgb bar = row >= 255 - c.rows ? ramp(row) : qRgb(255, 255, 255);
            ASSERT_EQ(testutil::Rgb(client.pixel(25, 43 + row)),
                      testutil::Rgb(row < 2 || row > 254 ? empty.pixel(25, 43 + row) : bar))
                << "row " << row;
        }
    }
}
