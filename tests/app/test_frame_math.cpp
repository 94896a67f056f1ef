// The arithmetic of the frame update: percent rounding and font sizes.

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

TEST(FontSizes, KeepThePixelHeightOfTheText) {
    EXPECT_EQ(MainFontSize(13), 77);
    EXPECT_EQ(PresetFontSize(77), 115);
    EXPECT_EQ(MainFontSize(0), 0);
}

} // namespace
