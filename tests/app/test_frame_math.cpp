// The arithmetic of the frame update: percent rounding, needle fade, the strobe's errors,
// frame-rate title and font sizes.

#include "app/FrameUpdate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PercentFromCents, FloorOfTheTrackersHalfCentUpReading) {
    // The tracker adds 0.5: a true -1.4 arrives as -0.9, a true +0.5 as 1.0.
    EXPECT_EQ(PercentFromCents(-0.9f), -1);
    EXPECT_EQ(PercentFromCents(0.9f), 0);
    EXPECT_EQ(PercentFromCents(-3.0f), -3);
    // Within two digits.
    EXPECT_EQ(PercentFromCents(250.0f), 99);
    EXPECT_EQ(PercentFromCents(-250.0f), -99);
    EXPECT_EQ(PercentFromCents(std::nanf("")), 0);
}

TEST(FadeNeedleColor, RedFadesToGreyOverOnePointSixSeconds) {
    EXPECT_EQ(FadeNeedleColor(0x0000FF, 100.0, 100.0, 1500.0), 0x0000FFu);
    EXPECT_EQ(FadeNeedleColor(0x0000FF, 100000.0, 100.0, 1500.0), 0xA0A0A0u);
    // Blue 160 already grey; red 0 rises, green 255 falls: at f = 1/3 red 0 + trunc(53.3) = 53,
    // green 255 + trunc(-31.67) = 224.
    EXPECT_EQ(FadeNeedleColor(0xA0FF00, 600.0, 100.0, 1500.0), 0xA0E035u);
}

TEST(BandCents, EachAgainstItsMultipleOfTheNotesFrequencyAtConcertA) {
    const float nan = std::nanf("");
    const struct {
        int note, octave;
        float frequency, concertA;
        std::array<float, 3> harmonics;
        std::array<float, 4> cents;
    } cases[] = {
        {9, 4, 440.0f, 440.0f, {880.0f, 0.0f, 1760.0f}, {0.0f, 0.0f, nan, 0.0f}},
        {9, 4, 442.0f, 442.0f, {884.0f * 1.0005778f, 1326.0f, 0.0f}, {0.0f, 1.0f, 0.0f, nan}},
        {0, 4, 256.87f, 432.0f, {0.0f, 0.0f, 0.0f}, {0.0f, nan, nan, nan}}, // C4 at A 432
        {2,
         3,
         0.0f,
         440.0f,
         {300.0f, 0.0f, 0.0f},
         {nan, 1200.0f * std::log2(300.0f / 293.6648f), nan, nan}},
    };
    for (const auto& c : cases) {
        const PitchResult reading{c.note, c.octave, 0.0f, -10.0f, c.frequency};
        const std::array<float, 4> got = BandCents(reading, c.harmonics, c.concertA);
        for (size_t k = 0; k < 4; ++k) {
            if (std::isnan(c.cents[k]))
                EXPECT_TRUE(std::isnan(got[k])) << c.frequency << " band " << k + 1;
            else
                EXPECT_NEAR(got[k], c.cents[k], 0.01) << c.frequency << " band " << k + 1;
        }
    }
}

TEST(FontSizes, KeepThePixelHeightOfTheText) {
    EXPECT_EQ(MainFontSize(13), 77);
    EXPECT_EQ(PresetFontSize(77), 115);
    EXPECT_EQ(MainFontSize(0), 0);
}

} // namespace
