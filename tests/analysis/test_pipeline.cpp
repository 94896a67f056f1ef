// The frame-to-reading steps the live tuner and tarvo-analyse share: configurations and the
// loudest class.

#include "analysis/FramePipeline.h"

#include <gtest/gtest.h>

namespace {

TEST(Pipeline, ConfigurationPerRate) {
    const struct {
        int rate;
        int frameLength;
        float lowest;
    } rates[] = {{11025, 1024, 20.0f}, {22050, 1024, 35.0f}, {44100, 2048, 35.0f}};
    for (const auto& r : rates) {
        FrameConfig c;
        ASSERT_TRUE(LiveConfiguration(r.rate, c)) << r.rate;
        EXPECT_EQ(c.frameLength, r.frameLength);
        EXPECT_EQ(c.lowest, r.lowest);
    }
    FrameConfig c;
    EXPECT_FALSE(LiveConfiguration(48000, c));
}

TEST(Pipeline, LoudestClassIsStrictlyLouderAndTheLowerOnTies) {
    PitchResult results[12];
    for (int i = 0; i < 12; ++i) {
        results[i] = EmptyPitchResult(i);
    }
    EXPECT_EQ(ChooseLoudest(results), 0); // nothing above -100: class 0
    results[5].level = -40.0f;
    EXPECT_EQ(ChooseLoudest(results), 5);
    results[11].level = -12.0f;
    results[3].level = -12.0f;
    EXPECT_EQ(ChooseLoudest(results), 3);
    results[0].level = -11.9f;
    EXPECT_EQ(ChooseLoudest(results), 0);
}

} // namespace
