// Note table, naming, and the harmonic-comb search for fundamentals.

#include "Signals.h"
#include "analysis/PitchAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

class Fundamentals : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(a.Setup(1024, 11025, 20, 7, 24, 20.0f)); }

    // Loads the PeakList directly and runs the fundamental search on it.
    void Peaks(const std::vector<std::pair<float, float>>& peaks) {
        std::fill_n(a.PeakFrequencies(), 20, 0.0f);
        std::fill_n(a.PeakAmplitudes(), 20, 0.0f);
        for (size_t i = 0; i < peaks.size(); ++i) {
            a.PeakFrequencies()[i] = peaks[i].first;
            a.PeakAmplitudes()[i] = peaks[i].second;
        }
        ASSERT_TRUE(a.AnalysePeaks());
    }

    // The loudest result, first class on ties (as the frame update picks it).
    const PitchResult& Loudest() const {
        int best = 0;
        float level = -100.0f;
        for (int c = 0; c < 12; ++c) {
            if (a.Result(c).level > level) {
                level = a.Result(c).level;
                best = c;
            }
        }
        return a.Result(best);
    }

    int Found() const {
        int n = 0;
        for (int c = 0; c < 12; ++c) {
            n += a.Result(c).level > -90.0f;
        }
        return n;
    }

    PitchAnalyser a;
};

TEST_F(Fundamentals, NoteTableFor440At20HzAnd11025Hz) {
    const NoteTableView t = a.CurrentNoteTable();
    ASSERT_EQ(t.count, 111);
    EXPECT_EQ(t.concertIndex, 54);
    EXPECT_FLOAT_EQ(t.concertA, 440.0f);
    EXPECT_FLOAT_EQ(t.entries[0].frequency, 19.445436f); // 440 x 2^(-54/12)
    EXPECT_EQ(t.entries[0].note, 3);
    EXPECT_EQ(t.entries[0].octave, 0);
    EXPECT_FLOAT_EQ(t.entries[110].frequency, 11175.303f); // 440 x 2^(56/12)
    EXPECT_EQ(t.entries[54].frequency, 440.0f);
    EXPECT_EQ(t.entries[54].note, 9);
    EXPECT_EQ(t.entries[54].octave, 4);
    // C4 is three entries above A3 and starts octave 4.
    EXPECT_EQ(t.entries[45].note, 0);
    EXPECT_EQ(t.entries[45].octave, 4);
    EXPECT_EQ(t.entries[44].note, 11);
    EXPECT_EQ(t.entries[44].octave, 3);
    for (int i = 1; i < t.count; ++i) {
        EXPECT_NEAR(t.entries[i].frequency / t.entries[i - 1].frequency, std::pow(2.0, 1 / 12.0),
                    1e-5);
        EXPECT_EQ(t.entries[i].note, (t.entries[i - 1].note + 1) % 12);
    }
}

TEST_F(Fundamentals, ConcertAOutOfRangeKeepsTheTable) {
    EXPECT_FALSE(a.SetConcertA(19.0f));
    EXPECT_FALSE(a.SetConcertA(11026.0f));
    EXPECT_FALSE(a.SetConcertA(std::nanf("")));
    EXPECT_EQ(a.CurrentNoteTable().count, 111);
    EXPECT_FLOAT_EQ(a.ConcertA(), 440.0f);

    ASSERT_TRUE(a.SetConcertA(430.0f));
    const NoteTableView t = a.CurrentNoteTable();
    EXPECT_FLOAT_EQ(t.entries[t.concertIndex].frequency, 430.0f);
    EXPECT_FLOAT_EQ(a.ConcertA(), 430.0f);
}

TEST_F(Fundamentals, NamingTiesGoUpAndLevelsFollowTheEnergy) {
    // Midway in Hz between A4 and Bb4 goes to Bb.
    const float bb = 440.0f * std::pow(2.0f, 1.0f / 12.0f);
    const PitchResult mid = a.ToPitchResult(0.5f * (440.0f + bb), 3.0e6f);
    EXPECT_EQ(mid.note, 10);
    EXPECT_EQ(mid.level, 0.0f);

    const PitchResult r = a.ToPitchResult(440.0f * std::pow(2.0f, 12.0f / 1200.0f), 3.0e6f / 20.0f);
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 4);
    EXPECT_NEAR(r.cents, 12.0f, 1e-3f);
    EXPECT_NEAR(r.level, 10.0f * std::log(1.0f / 20.0f), 1e-4f);
    EXPECT_EQ(a.ToPitchResult(440.0f, 1.0f).level, -90.0f);
    // Below the first table note: named after it, cents below -50.
    const PitchResult low = a.ToPitchResult(18.0f, 1e5f);
    EXPECT_EQ(low.note, 3);
    EXPECT_EQ(low.octave, 0);
    EXPECT_LT(low.cents, -50.0f);
    // Nothing to name: no frequency.
    EXPECT_EQ(a.ToPitchResult(0.0f, 1e6f).level, -90.0f);
    EXPECT_EQ(a.ToPitchResult(std::nanf(""), 1e6f).level, -90.0f);
}

// A pure tone is one peak with no harmonics for the comb to find: it is named on its own,
// unless something below it could be the fundamental it is a harmonic of, or it is not most of
// the frame.
TEST_F(Fundamentals, ALonePeakIsItsOwnNote) {
    const struct {
        std::vector<std::pair<float, float>> peaks;
        bool found;
    } cases[] = {
        {{{440.0f, 2.0e6f}}, true},
        {{{440.0f, 2.0e6f}, {880.0f, 0.1e6f}, {3000.0f, 0.1e6f}}, true}, // weak ones above
        {{{220.0f, 0.1e6f}, {440.0f, 2.0e6f}}, false},                   // 5 % at the octave below
        {{{440.0f, 2.0e6f}, {1234.0f, 0.3e6f}}, false},                  // 87 % of the frame
    };
    for (const auto& c : cases) {
        Peaks(c.peaks);
        ASSERT_EQ(Found(), c.found ? 1 : 0) << c.peaks.size();
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(a.Result(k).note, k);
        }
        if (c.found) {
            EXPECT_EQ(a.Result(9).octave, 4);
            EXPECT_EQ(a.Result(9).frequency, 440.0f);
            EXPECT_NEAR(a.Result(9).level, 10.0f * std::log(2.0f / 3.0f), 1e-4f);
        }
    }
}

TEST_F(Fundamentals, PureSinesFromE1ToE7AreRead) {
    // At E1 the sine's mirror image at -41 Hz pulls the peak by half a cent unless taken away.
    for (const double f : {41.2, 440.3, 2637.0}) {
        for (const double phase : {0.0, 1.0, 2.0}) {
            testsig::Fill(a.FrameBuffer(), 1024, 11025, {{f, 300.0, phase}});
            ASSERT_TRUE(a.AnalyseFrame(false, 128));
            ASSERT_EQ(Found(), 1) << f;
            EXPECT_NEAR(testsig::Cents(Loudest().frequency, f), 0.0, 0.05) << f << " " << phase;
        }
    }
}

TEST_F(Fundamentals, HarmonicsOneAndTwoAloneAreNotAccepted) {
    Peaks({{220.0f, 1.0e6f}, {440.0f, 1.0e6f}});
    EXPECT_EQ(Found(), 0);
}

TEST_F(Fundamentals, HarmonicCombClimbsToTheFundamental) {
    std::vector<std::pair<float, float>> p;
    for (int k = 1; k <= 8; ++k) {
        p.push_back({110.0f * k, 1.0e6f});
    }
    Peaks(p);
    const PitchResult& r = Loudest();
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 2);
    EXPECT_NEAR(r.cents, 0.0f, 0.01f);
    EXPECT_NEAR(r.frequency, 110.0f, 0.01f);
    EXPECT_EQ(Found(), 1);
}

TEST_F(Fundamentals, EvenHarmonicsOnlyStopAtTheirCommonFundamental) {
    Peaks({{220.0f, 1.0e6f}, {440.0f, 1.0e6f}, {660.0f, 1.0e6f}, {880.0f, 1.0e6f}});
    const PitchResult& r = Loudest();
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 3);
    EXPECT_NEAR(r.frequency, 220.0f, 0.01f);
}

TEST_F(Fundamentals, StretchedUpperPartialsDoNotPullTheReadingSharp) {
    // A stiff string: partial k at k f0 sqrt(1 + B k^2), B = 4e-4 (the 12th is 47 cents sharp),
    // amplitudes falling as 1/k. The reading is the fundamental of the low partials (k <= 5),
    // weighted by amplitude.
    const double f0 = 110.0, b = 4.0e-4;
    std::vector<std::pair<float, float>> peaks;
    double weighted = 0.0, sum = 0.0;
    for (int k = 1; k <= 12; ++k) {
        const double fk = k * f0 * std::sqrt(1.0 + b * k * k);
        const double amp = 1.0e6 / k;
        peaks.emplace_back(static_cast<float>(fk), static_cast<float>(amp));
        if (k <= 5) {
            weighted += amp * fk / k;
            sum += amp;
        }
    }
    Peaks(peaks);
    const PitchResult& r = Loudest();
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 2);
    EXPECT_NEAR(testsig::Cents(r.frequency, weighted / sum), 0.0, 0.01);
    EXPECT_LT(testsig::Cents(r.frequency, f0), 2.5); // all twelve would give +8.7 cents
}

TEST_F(Fundamentals, LowEStringGivesOneResultInTune) {
    testsig::Fill(a.FrameBuffer(), 1024, 11025, testsig::Harmonic(82.41, 8000.0, 12));
    ASSERT_TRUE(a.AnalyseFrame(false, 128));
    const PitchResult& r = Loudest();
    EXPECT_EQ(r.note, 4);
    EXPECT_EQ(r.octave, 2);
    EXPECT_NEAR(testsig::Cents(r.frequency, 82.41), 0.0, 0.1);
    EXPECT_NEAR(r.cents, testsig::Cents(82.41, 440.0 * std::pow(2.0, -29 / 12.0)), 0.1);
    EXPECT_EQ(Found(), 1);
}

TEST_F(Fundamentals, ConcertA430NamesA440AsSharpA) {
    ASSERT_TRUE(a.SetConcertA(430.0f));
    testsig::Fill(a.FrameBuffer(), 1024, 11025, testsig::Harmonic(440.0, 8000.0, 8, 5000.0));
    ASSERT_TRUE(a.AnalyseFrame(false, 128));
    const PitchResult& r = Loudest();
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 4);
    EXPECT_NEAR(r.cents, 39.8f, 0.1f);
}

TEST_F(Fundamentals, ConcertAChangeDuringAnalysisNeverMixesTables) {
    // The window thread flips concert A while frames run: every frame names the tone against
    // one whole table, 440 (cents 0) or 430 (cents +39.8), never anything in between.
    std::vector<float> frame(1024);
    testsig::Fill(frame.data(), 1024, 11025, testsig::Harmonic(440.0, 8000.0, 8, 5000.0));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done.load(); ++i) {
            a.SetConcertA(i % 2 ? 430.0f : 440.0f);
        }
    });
    for (int i = 0; i < 300; ++i) {
        std::copy(frame.begin(), frame.end(), a.FrameBuffer());
        ASSERT_TRUE(a.AnalyseFrame(false, 128));
        const PitchResult& r = Loudest();
        ASSERT_EQ(r.note, 9);
        ASSERT_EQ(r.octave, 4);
        const bool at440 = std::fabs(r.cents) < 0.1f;
        const bool at430 = std::fabs(r.cents - 39.8f) < 0.1f;
        ASSERT_TRUE(at440 || at430) << r.cents;
    }
    done = true;
    writer.join();
}

} // namespace
