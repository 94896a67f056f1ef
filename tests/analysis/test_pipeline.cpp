// The frame-to-reading steps the live tuner and tarvo-analyse share: configurations, hop floor,
// loudest class, and the tracker's averaging window at the hops the live tuner runs at.

#include "analysis/FramePipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Pipeline, ConfigurationsAndHopFloorPerRate) {
    const struct {
        int rate;
        int frameLength;
        float lowest;
        int floor;
    } rates[] = {{11025, 1024, 20.0f, 32}, {22050, 1024, 35.0f, 64}, {44100, 2048, 35.0f, 128}};
    for (const auto& r : rates) {
        FrameConfig c;
        ASSERT_TRUE(LiveConfiguration(r.rate, c)) << r.rate;
        EXPECT_EQ(c.frameLength, r.frameLength);
        EXPECT_EQ(c.lowest, r.lowest);
        EXPECT_EQ(HopFloor(r.rate), r.floor);
    }
    FrameConfig c;
    EXPECT_FALSE(LiveConfiguration(48000, c));
    EXPECT_EQ(HopFloor(0), 1);
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

// The tracker's spans are times, counted in frames of the hop. At the live tuner's hop floor as
// at the default hop, a reading that jitters by a few cents from frame to frame widens the
// averaging window step by step to its widest, 0.5 s, and a steady one narrows it back.
class TrackerWindow : public ::testing::TestWithParam<int> {};

TEST_P(TrackerWindow, WidensOnJitteryInputAndNarrowsWhenSteady) {
    constexpr int kRate = 11025;
    const int hop = GetParam();
    const int frames = static_cast<int>(std::lround(1.5 * kRate / hop)); // 1.5 s each
    PitchTracker tracker;
    std::vector<float> windows;
    auto feed = [&](float cents) {
        PitchResult r{9, 4, cents, -20.0f, 440.0f};
        tracker.Track(r, static_cast<float>(hop), kRate, 0.5f);
        if (windows.empty() || tracker.WindowSeconds() != windows.back()) {
            windows.push_back(tracker.WindowSeconds());
        }
    };
    for (int i = 0; i < frames; ++i) {
        feed(5.0f * static_cast<float>(std::sin(i * 2.4))); // +-5 cents, no pattern in frames
    }
    EXPECT_EQ(windows, (std::vector<float>{0.05f, 0.1f, 0.25f, 0.5f}));
    for (int i = 0; i < 2 * frames; ++i) {
        feed(0.0f);
    }
    EXPECT_EQ(windows, (std::vector<float>{0.05f, 0.1f, 0.25f, 0.5f, 0.25f, 0.1f, 0.05f}));
}

INSTANTIATE_TEST_SUITE_P(LiveHops, TrackerWindow, ::testing::Values(HopFloor(11025), 128));

} // namespace
