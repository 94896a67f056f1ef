// The frame-to-reading steps the live tuner and tarvo-analyse share: configurations, hop floor,
// loudest class, and the tracker's hold, averaging window and flicker suppression.

#include "analysis/FramePipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kRate = 11025;
constexpr float kHop = 128.0f;
const float kA4 = 5750.0f; // absolute pitch of A4 + 0 cents (1200 octave + 100 note + cents + 50)

PitchResult AtPitch(float p, float level = -20.0f) {
    PitchResult r;
    r.octave = static_cast<int>(p) / 1200;
    r.note = static_cast<int>(p - 1200.0f * r.octave) / 100;
    r.cents = p - 1200.0f * r.octave - 100.0f * r.note - 50.0f;
    r.level = level;
    r.frequency = 440.0f * std::pow(2.0f, (p - kA4) / 1200.0f);
    return r;
}

TEST(Pipeline, ConfigurationsHopFloorAndTheLoudestClass) {
    const struct {
        int rate, frameLength;
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
    PitchResult results[12];
    for (int i = 0; i < 12; ++i)
        results[i] = EmptyPitchResult(i);
    EXPECT_EQ(ChooseLoudest(results), 0); // nothing: class 0
    results[11].level = results[3].level = -12.0f;
    EXPECT_EQ(ChooseLoudest(results), 3);
}

// The spans are in seconds: at every hop a note starts once its frames agree for 10 ms (the
// second frame at hop 128), and a note followed for 50 ms carries across 50 ms of silence.
TEST(Tracker, SpansAreTheSameAtEveryHop) {
    const struct {
        float hop;
        int startFrame; // the frame, from 1, that ends the hold
        int bridged;    // silent frames carried across
    } cases[] = {{128.0f, 2, 4}, {64.0f, 3, 8}, {32.0f, 5, 17}};
    for (const auto& c : cases) {
        PitchTracker t;
        for (int i = 0; i < 20; ++i) {
            t.Track(EmptyPitchResult(0), c.hop, kRate, 0.0f);
            ASSERT_TRUE(t.Hold());
        }
        int frame = 1;
        while (t.Track(AtPitch(kA4), c.hop, kRate, 0.5f), t.Hold())
            ASSERT_LT(++frame, 100);
        EXPECT_EQ(frame, c.startFrame) << c.hop;
        const PitchResult r = t.Track(AtPitch(kA4), c.hop, kRate, 0.5f);
        EXPECT_EQ(r.note * 10 + r.octave, 94);
        EXPECT_NEAR(r.cents, 0.5f, 1e-3f); // with the display's half-cent rounding offset
        for (int i = 0; i < 100; ++i)
            t.Track(AtPitch(kA4), c.hop, kRate, 0.5f);
        int silent = 0;
        while (t.Track(EmptyPitchResult(0), c.hop, kRate, 0.0f), !t.Hold())
            ASSERT_LT(++silent, 100);
        EXPECT_EQ(silent, c.bridged) << c.hop;
    }
    // A note just started holds at its first gap.
    PitchTracker t;
    for (int i = 0; i < 3; ++i)
        t.Track(AtPitch(kA4), kHop, kRate, 0.5f);
    ASSERT_FALSE(t.Hold());
    t.Track(EmptyPitchResult(0), kHop, kRate, 0.0f);
    EXPECT_TRUE(t.Hold());
}

// Which frames start a note after silence: loud enough, and standing out from the quietest
// input of the last 0.1 s (input level 0..1, 60 units per 1).
TEST(Tracker, ANoteStartsOnlyWhenClearlyThere) {
    const struct {
        float level, input;
        bool starts;
    } cases[] = {
        {-48.0f, 0.0f, false}, // below the release level
        {-46.0f, 0.0f, true},  // quiet, in silence
        {-20.0f, 0.7f, false}, // 2 below the input level (-18): noise-like
        {-20.0f, 0.64f, true}, // 1.6 above it (-21.6)
        {0.0f, 0.99f, true},   // full energy cannot show how far it stands out
    };
    for (const auto& c : cases) {
        PitchTracker t;
        for (int i = 0; i < 3; ++i)
            t.Track(AtPitch(kA4, c.level), kHop, kRate, c.input);
        EXPECT_EQ(!t.Hold(), c.starts) << c.level << " " << c.input;
    }
}

TEST(Tracker, AFollowedNoteDecaysToTheNoiseFloorAndANewOneTakesOverAtOnce) {
    PitchTracker t;
    PitchResult last;
    for (int i = 0; i < 30; ++i)
        last = t.Track(AtPitch(kA4 + 10.0f), kHop, kRate, 0.5f);
    // A lone jump is passed over; a second frame at the new pitch makes it the note.
    PitchResult r = t.Track(AtPitch(kA4 + 80.0f), kHop, kRate, 0.5f);
    EXPECT_EQ(r.cents, last.cents);
    r = t.Track(AtPitch(kA4 + 80.0f), kHop, kRate, 0.5f);
    EXPECT_FALSE(t.Hold());
    EXPECT_EQ(r.note, 10); // A4 + 80 cents is Bb4 - 20
    EXPECT_NEAR(r.cents, -19.5f, 1e-3f);
    // The level falls with the input, far below where a note would start on its own.
    for (int i = 0; i < 30; ++i) {
        const float level = -20.0f - static_cast<float>(i);
        t.Track(AtPitch(kA4 + 80.0f, level), kHop, kRate, 1.0f + (level - 8.0f) / 60.0f);
        ASSERT_FALSE(t.Hold()) << level;
    }
    // Too quiet to be a note: five frames (over 50 ms) later, the hold.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(t.Hold());
        t.Track(AtPitch(kA4 + 80.0f, -51.0f), kHop, kRate, 0.0f);
    }
    EXPECT_TRUE(t.Hold());
}

// A reading that jitters widens the averaging window step by step to 0.5 s, checked every
// 2 Fj + 1 = 17 frames at hop 128; a steady one narrows it back, at the live hop floor too.
TEST(Tracker, WindowWidensWithJitterAndNarrowsWhenSteady) {
    for (const int hop : {HopFloor(kRate), 128}) {
        PitchTracker t;
        std::vector<std::pair<int, float>> changes;
        const int frames = static_cast<int>(std::lround(1.5 * kRate / hop)); // 1.5 s
        for (int i = 0; i < 3 * frames; ++i) {
            const float p = i < frames ? kA4 + 5.0f * static_cast<float>(std::sin(i * 2.4)) : kA4;
            t.Track(AtPitch(p), static_cast<float>(hop), kRate, 0.5f);
            if (changes.empty() || t.WindowSeconds() != changes.back().second)
                changes.push_back({i, t.WindowSeconds()});
        }
        std::vector<float> windows;
        for (const auto& c : changes)
            windows.push_back(c.second);
        EXPECT_EQ(windows, (std::vector<float>{0.05f, 0.1f, 0.25f, 0.5f, 0.25f, 0.1f, 0.05f}))
            << hop;
        if (hop == 128) {
            EXPECT_EQ(changes[1].first, 16);
        }
    }
}

TEST(Tracker, FlickerShowsTheValueWithTheLongerRun) {
    // A hop longer than the widest window averages the newest frame alone, so the rounded
    // value follows the input: 5750, 5750, 5751, 5750, 5750, 5751, ...
    PitchTracker t;
    std::vector<float> cents;
    for (int i = 0; i < 30; ++i)
        cents.push_back(
            t.Track(AtPitch(kA4 + (i % 3 == 2 ? 0.6f : 0.2f)), 6000.0f, kRate, 0.5f).cents);
    for (int i = 6; i < 30; ++i)
        EXPECT_EQ(cents[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_NEAR(cents[1], 0.7f, 1e-3f); // without a rival value the half-cent offset stays
}

TEST(Tracker, AveragesCoverTheNewestFrameWhenTheStabilitySpanIsEmpty) {
    // Hop 400 is 36 ms: no earlier frame lies within the stability span.
    PitchTracker t;
    t.Track(AtPitch(kA4 + 20.0f), 400.0f, kRate, 0.6f);
    const PitchResult r = t.Track(AtPitch(kA4), 400.0f, kRate, 0.7f);
    EXPECT_FALSE(t.Hold());
    EXPECT_NEAR(r.frequency, 440.0f, 1e-3f);
    EXPECT_NEAR(t.AverageInputLevel(), 0.7f, 1e-6f);
}

} // namespace
