// Strobe: the phase is the error integrated over time (a period a second per cent, at most 15),
// each band's pattern lies where its phase puts it, and a hold or a missing harmonic stops a band.

#include "TestUtil.h"

#include "display/StrobeGauge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr std::uint32_t kInk = 0x0000C0; // (192, 0, 0)
constexpr float kNone = InstrumentReading::kAbsent;

// One row through the middle of a band: '#' block colour, 'g' the absent grey, '.' white,
// '?' anything else.
std::string Row(const QImage& client, int band, QRgb ink) {
    const QRect r = StrobeGauge::BandArea(band);
    std::string row;
    for (int x = r.left(); x <= r.right(); ++x) {
        const QRgb p = client.pixel(x, r.center().y()) & 0xFFFFFF;
        row += p == (ink & 0xFFFFFF) ? '#' : p == 0xA0A0A0 ? 'g' : p == 0xFFFFFF ? '.' : '?';
    }
    return row;
}

// Blocks of 12 pixels every 24 with the first starting `offset` pixels from the band's left.
std::string Stripes(int offset, char block) {
    std::string row;
    for (int x = 0; x < StrobeGauge::kBandWidth; ++x)
        row += ((x - offset) % 24 + 24) % 24 < 12 ? block : '.';
    return row;
}

} // namespace

TEST(Strobe, BandsMoveByTheirOwnErrorsAndStandStillHeldOrWithoutTheirHarmonic) {
    const struct {
        const char* what;
        std::array<float, 4> cents;
        bool hold;
        std::array<double, 4> periodsPerSecond;
    } cases[] = {
        {"in tune", {0.0f, 0.0f, 0.0f, 0.0f}, false, {0.0, 0.0, 0.0, 0.0}},
        {"a cent sharp", {1.0f, 1.0f, 1.0f, 1.0f}, false, {1.0, 1.0, 1.0, 1.0}},
        {"flat, with stretched partials", {-1.0f, 0.5f, 2.0f, 4.0f}, false, {-1.0, 0.5, 2.0, 4.0}},
        {"held", {1.0f, 1.0f, 1.0f, 1.0f}, true, {0.0, 0.0, 0.0, 0.0}},
        {"no third harmonic", {1.0f, 1.0f, kNone, 1.0f}, false, {1.0, 1.0, 0.0, 1.0}},
        {"far off: at most 15 periods a second",
         {-40.0f, 100.0f, 0.0f, 2.0f},
         false,
         {-15.0, 15.0, 0.0, 2.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StrobeGauge strobe;
        ColorScheme colors;
        colors.needleColor = kInk;
        strobe.TakeColors(colors);
        InstrumentReading reading;
        reading.bandCents = c.cents;
        reading.hold = c.hold;
        reading.needleColor = kInk;
        strobe.TakeReading(reading, 1000.0);
        QImage client = testutil::Solid(300, 380, 240, 240, 240);
        EXPECT_EQ(strobe.Draw(client, true, 1000.0).Bounding(), QRect(50, 101, 240, 199));
        // A quarter of a second later each band lies a quarter of its speed further on, and
        // only bands that look different were drawn again.
        const ChangedRects moved = strobe.Draw(client, false, 1250.0);
        int moving = 0;
        for (int k = 0; k < 4; ++k) {
            const double speed = c.periodsPerSecond[static_cast<std::size_t>(k)];
            const double turns = speed / 4 - std::floor(speed / 4);
            moving += turns != 0.0;
            const char block = std::isnan(c.cents[static_cast<std::size_t>(k)]) ? 'g' : '#';
            EXPECT_EQ(Row(client, k, qRgb(192, 0, 0)), Stripes(static_cast<int>(turns * 24), block))
                << "band " << k + 1;
        }
        EXPECT_EQ(moved.Count(), moving);
        strobe.Draw(client, false, 2000.0);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(strobe.Phase(k), c.periodsPerSecond[static_cast<std::size_t>(k)]);
    }
}

TEST(Strobe, PatternMovesByFractionsOfAPixel) {
    StrobeGauge strobe;
    InstrumentReading reading;
    reading.hold = false;
    reading.bandCents = {1.0f, kNone, kNone, kNone};
    reading.needleColor = 0x000000;
    strobe.TakeReading(reading, 0.0);
    QImage client = testutil::Solid(300, 380, 240, 240, 240);
    strobe.Draw(client, true, 62.5); // 1.5 pixels to the right
    const QRect band = StrobeGauge::BandArea(0);
    const int y = band.center().y();
    const int expected[][2] = {{0, 255}, {1, 127}, {2, 0}, {12, 0}, {13, 127}, {14, 255}};
    for (const auto& [x, grey] : expected)
        EXPECT_EQ(client.pixel(band.left() + x, y) & 0xFFFFFF, qRgb(grey, grey, grey) & 0xFFFFFF)
            << x;
}
