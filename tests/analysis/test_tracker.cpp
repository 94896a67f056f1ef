// The pitch tracker: hold, averaging window, flicker suppression.

#include "analysis/PitchTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kRate = 11025;
constexpr float kHop = 128.0f;

// A result whose absolute pitch value is `p` (1200 octave + 100 note + cents + 50).
PitchResult AtPitch(float p, float level = -20.0f) {
    PitchResult r;
    r.octave = static_cast<int>(p) / 1200;
    r.note = static_cast<int>(p - 1200.0f * r.octave) / 100;
    r.cents = p - 1200.0f * r.octave - 100.0f * r.note - 50.0f;
    r.level = level;
    r.frequency = 440.0f * std::pow(2.0f, (p - 5750.0f) / 1200.0f);
    return r;
}

const float kA4 = 5750.0f; // A4, 0 cents

TEST(Tracker, StartsHoldingTheClearedReading) {
    PitchTracker t;
    const PitchResult r = t.Track(AtPitch(kA4), kHop, kRate, 0.5f);
    EXPECT_TRUE(t.Hold());
    EXPECT_EQ(r.note, 0);
    EXPECT_EQ(r.octave, 0);
    EXPECT_EQ(r.cents, 0.0f);
}

TEST(Tracker, SilenceNeverReads) {
    PitchTracker t;
    for (int i = 0; i < 50; ++i) {
        t.Track(EmptyPitchResult(i % 12), kHop, kRate, 0.0f);
        EXPECT_TRUE(t.Hold());
    }
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
        }
        int frame = 1;
        while (t.Track(AtPitch(kA4), c.hop, kRate, 0.5f), t.Hold()) {
            ASSERT_LT(++frame, 100);
        }
        EXPECT_EQ(frame, c.startFrame) << c.hop;
        EXPECT_EQ(t.Reading().note, 9);
        EXPECT_EQ(t.Reading().octave, 4);
        EXPECT_NEAR(t.AverageFrequency(), 440.0f, 1e-3f);
        // The reading carries the display's half-cent rounding offset.
        EXPECT_NEAR(t.Reading().cents, 0.5f, 1e-3f);

        for (int i = 0; i < 100; ++i) {
            t.Track(AtPitch(kA4), c.hop, kRate, 0.5f);
        }
        int silent = 0;
        while (t.Track(EmptyPitchResult(0), c.hop, kRate, 0.0f), !t.Hold()) {
            ASSERT_LT(++silent, 100);
            EXPECT_EQ(t.Reading().note, 9);
        }
        EXPECT_EQ(silent, c.bridged) << c.hop;
        // The energy gauge follows every frame, silent ones too.
        EXPECT_LT(t.AverageInputLevel(), 0.5f);
    }
}

TEST(Tracker, ANoteJustStartedHoldsAtItsFirstGap) {
    PitchTracker t;
    for (int i = 0; i < 3; ++i) {
        t.Track(AtPitch(kA4), kHop, kRate, 0.5f);
    }
    ASSERT_FALSE(t.Hold());
    t.Track(EmptyPitchResult(0), kHop, kRate, 0.0f);
    EXPECT_TRUE(t.Hold());
}

// Which frames start a note after silence (input level 0..1, 60 steps per 1 of it): loud
// enough, and standing out from the quietest input of the last 0.1 s.
TEST(Tracker, ANoteStartsOnlyWhenClearlyThere) {
    const struct {
        float level;
        float input;
        bool starts;
    } cases[] = {
        {-48.0f, 0.0f, false}, // below the release level
        {-46.0f, 0.0f, true},  // quiet, in silence
        {-20.0f, 0.7f, false}, // 2 below the input level (-18): noise-like
        {-20.0f, 0.64f, true}, // 1.6 above it (-21.6)
        {0.0f, 0.99f, true},   // full energy: its level cannot show how far it stands out
    };
    for (const auto& c : cases) {
        PitchTracker t;
        for (int i = 0; i < 3; ++i) {
            t.Track(AtPitch(kA4, c.level), kHop, kRate, c.input);
        }
        EXPECT_EQ(!t.Hold(), c.starts) << c.level << " " << c.input;
    }
}

class Following : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 30; ++i) {
            last = t.Track(AtPitch(kA4 + 10.0f), kHop, kRate, 0.5f);
        }
        ASSERT_FALSE(t.Hold());
    }
    PitchTracker t;
    PitchResult last;
};

TEST_F(Following, ADecayingNoteIsFollowedToTheNoiseFloor) {
    // The level falls with the input level, far below where a note would start on its own, and
    // the note stays read while it stands out from the input.
    for (int i = 0; i < 30; ++i) {
        const float level = -20.0f - static_cast<float>(i);
        t.Track(AtPitch(kA4 + 10.0f, level), kHop, kRate, 1.0f + (level - 8.0f) / 60.0f);
        ASSERT_FALSE(t.Hold()) << level;
    }
    // Level -50: too quiet to be a note any more; five frames (over 50 ms) later, the hold.
    for (int i = 0; i < 4; ++i) {
        t.Track(AtPitch(kA4 + 10.0f, -51.0f), kHop, kRate, 0.0f);
        EXPECT_FALSE(t.Hold());
    }
    t.Track(AtPitch(kA4 + 10.0f, -51.0f), kHop, kRate, 0.0f);
    EXPECT_TRUE(t.Hold());
}

TEST_F(Following, ALoneJumpIsPassedOverAndANewNoteTakesOverAtOnce) {
    PitchResult r = t.Track(AtPitch(kA4 + 80.0f), kHop, kRate, 0.5f);
    EXPECT_FALSE(t.Hold());
    EXPECT_EQ(r.note, last.note);
    EXPECT_EQ(r.cents, last.cents);
    EXPECT_EQ(r.frequency, last.frequency);
    // A second frame at the new pitch makes it the note, without a hold.
    r = t.Track(AtPitch(kA4 + 80.0f), kHop, kRate, 0.5f);
    EXPECT_FALSE(t.Hold());
    EXPECT_EQ(r.note, 10); // A4 + 80 cents is Bb4 - 20
    EXPECT_NEAR(r.cents, -19.5f, 1e-3f);
}

TEST(Tracker, WindowWidensWithJitterAndShrinksEverySeventeenFrames) {
    PitchTracker t;
    std::vector<std::pair<int, float>> changes;
    float window = t.WindowSeconds();
    int frame = 0;
    auto feed = [&](float p) {
        t.Track(AtPitch(p), kHop, kRate, 0.5f);
        ASSERT_FALSE(frame > 3 && t.Hold()) << frame;
        if (t.WindowSeconds() != window) {
            window = t.WindowSeconds();
            changes.push_back({frame, window});
        }
        ++frame;
    };
    // Rough: +-20 cents in runs of three (stable; no averaging window spans whole periods).
    for (int i = 0; i < 120; ++i) {
        feed(kA4 + ((i / 3) % 2 ? 20.0f : -20.0f));
    }
    // Smooth: constant pitch.
    for (int i = 0; i < 400; ++i) {
        feed(kA4);
    }
    ASSERT_GE(changes.size(), 6u);
    const std::vector<float> expected{0.1f, 0.25f, 0.5f, 0.25f, 0.1f, 0.05f};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_FLOAT_EQ(changes[i].second, expected[i]) << i;
    }
    // Adaptation is evaluated every 2 Fj + 1 = 17 frames from the start of the note (frame 1);
    // after the rough part (frames 0 to 119) the widest window still holds rough frames until
    // the check at frame 169.
    const std::vector<int> frames{16, 33, 50, 169, 186, 203};
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(changes[i].first, frames[i]) << i;
    }
    EXPECT_EQ(changes.size(), 6u);
}

TEST(Tracker, FlickerShowsTheValueWithTheLongerRun) {
    // A hop longer than the widest window (0.5 s) averages the newest frame alone, so the rounded
    // value follows the input: 5750, 5750, 5751, 5750, 5750, 5751, ...
    PitchTracker t;
    const float hop = 6000.0f;
    std::vector<float> cents;
    for (int i = 0; i < 30; ++i) {
        const float p = (i % 3 == 2) ? kA4 + 0.6f : kA4 + 0.2f;
        cents.push_back(t.Track(AtPitch(p), hop, kRate, 0.5f).cents);
        ASSERT_EQ(t.Hold(), i == 0); // the note starts on its second frame
    }
    for (int i = 6; i < 30; ++i) {
        EXPECT_EQ(cents[i], 0.0f) << i;
    }
    // Without the rival value the half-cent offset stays in.
    EXPECT_NEAR(cents[1], 0.7f, 1e-3f);
}

TEST(Tracker, AveragesCoverTheNewestFrameWhenTheStabilitySpanIsEmpty) {
    // Hop 400 at 11025 Hz is 36 ms: no earlier frame lies within the stability span. A note
    // starting must still average the newest frame rather than nothing, and only that one.
    PitchTracker t;
    for (int i = 0; i < 5; ++i) {
        t.Track(EmptyPitchResult(0), 400.0f, kRate, 0.0f);
    }
    t.Track(AtPitch(kA4 + 20.0f), 400.0f, kRate, 0.6f);
    const PitchResult r = t.Track(AtPitch(kA4), 400.0f, kRate, 0.7f);
    EXPECT_FALSE(t.Hold());
    EXPECT_EQ(t.Count(), 1);
    EXPECT_NEAR(r.frequency, 440.0f, 1e-3f);
    EXPECT_EQ(r.note, 9);
    EXPECT_NEAR(t.AverageInputLevel(), 0.7f, 1e-6f);
}

TEST(Tracker, DegenerateHopAndRateStayFinite) {
    PitchTracker t;
    for (int i = 0; i < 10; ++i) {
        const PitchResult r = t.Track(AtPitch(kA4), 0.0f, 0, 0.5f);
        EXPECT_TRUE(std::isfinite(r.cents));
        EXPECT_TRUE(std::isfinite(t.AverageFrequency()));
    }
}

TEST(Tracker, RingWrapsAfter1024Frames) {
    PitchTracker t;
    for (int i = 0; i < 3000; ++i) {
        t.Track(AtPitch(kA4 + 5.0f), kHop, kRate, 0.5f);
    }
    EXPECT_EQ(t.Count(), 1024);
    EXPECT_FALSE(t.Hold());
    EXPECT_EQ(t.Reading().note, 9);
    EXPECT_NEAR(t.Reading().cents, 5.5f, 0.01f);
}

} // namespace
