// Note table, naming, and the harmonic-comb search for fundamentals.

#include "Signals.h"
#include "analysis/PitchAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

using PeakList = std::vector<std::pair<float, float>>;

class Fundamentals : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(a.Setup(1024, 11025, 20, 7, 24, 20.0f)); }

    // Loads the PeakList directly and runs the fundamental search on it.
    void Peaks(const PeakList& peaks) {
        std::fill_n(a.PeakFrequencies(), 20, 0.0f);
        std::fill_n(a.PeakAmplitudes(), 20, 0.0f);
        for (size_t i = 0; i < peaks.size(); ++i) {
            a.PeakFrequencies()[i] = peaks[i].first;
            a.PeakAmplitudes()[i] = peaks[i].second;
        }
        ASSERT_TRUE(a.AnalysePeaks());
    }
    void Frame(const std::vector<testsig::Partial>& partials) {
        testsig::Fill(a.FrameBuffer(), 1024, 11025, partials);
        ASSERT_TRUE(a.AnalyseFrame(false, 128));
    }
    // The loudest result, first class on ties (as the frame update picks it).
    const PitchResult& Loudest() const {
        int best = 0;
        for (int c = 1; c < 12; ++c)
            best = a.Result(c).level > a.Result(best).level ? c : best;
        return a.Result(best);
    }
    int Found() const {
        int n = 0;
        for (int c = 0; c < 12; ++c)
            n += a.Result(c).level > kNoPitchLevel;
        return n;
    }
    PitchAnalyser a;
};

TEST_F(Fundamentals, NamingTiesGoUpAndLevelsFollowTheEnergy) {
    // A concert A outside the table is refused; the names below still come from 440 Hz.
    for (const float bad : {19.0f, 11026.0f, std::nanf("")})
        EXPECT_FALSE(a.SetConcertA(bad)) << bad;
    EXPECT_EQ(a.ConcertA(), 440.0f);
    const float bb = 440.0f * std::pow(2.0f, 1.0f / 12.0f);
    const PitchResult mid = a.ToPitchResult(0.5f * (440.0f + bb), 3.0e6f);
    EXPECT_EQ(mid.note, 10);
    EXPECT_EQ(mid.level, 0.0f);
    const PitchResult r = a.ToPitchResult(440.0f * std::pow(2.0f, 12.0f / 1200.0f), 1.5e5f);
    EXPECT_EQ(r.note, 9);
    EXPECT_EQ(r.octave, 4);
    EXPECT_NEAR(r.cents, 12.0f, 1e-3f);
    EXPECT_NEAR(r.level, 10.0f * std::log(1.0f / 20.0f), 1e-4f);
    EXPECT_EQ(a.ToPitchResult(440.0f, 1.0f).level, kNoPitchLevel);
    EXPECT_EQ(a.ToPitchResult(std::nanf(""), 1e6f).level, kNoPitchLevel);
}

// A pure tone has no harmonics for the comb: it is named on its own, unless something below it
// could be the fundamental it is a harmonic of, or it is not most of the frame.
TEST_F(Fundamentals, ALonePeakIsItsOwnNote) {
    const struct {
        PeakList peaks;
        bool found;
    } cases[] = {
        {{{440.0f, 2.0e6f}, {880.0f, 0.1e6f}, {3000.0f, 0.1e6f}}, true}, // weak ones above
        {{{220.0f, 0.1e6f}, {440.0f, 2.0e6f}}, false},                   // 5 % an octave below
        {{{440.0f, 2.0e6f}, {1234.0f, 0.3e6f}}, false},                  // 87 % of the frame
    };
    for (const auto& c : cases) {
        Peaks(c.peaks);
        ASSERT_EQ(Found(), c.found ? 1 : 0) << c.peaks.size();
    }
    Peaks({{440.0f, 2.0e6f}});
    EXPECT_EQ(a.Result(9).frequency, 440.0f);
    EXPECT_NEAR(a.Result(9).level, 10.0f * std::log(2.0f / 3.0f), 1e-4f);
    // Read from a frame from E1 to E7; at E1 the sine's mirror image at -41 Hz pulls the peak by
    // half a cent unless taken away.
    for (const double f : {41.2, 440.3, 2637.0}) {
        for (const double phase : {0.0, 1.0, 2.0}) {
            Frame({{f, 300.0, phase}});
            ASSERT_EQ(Found(), 1) << f;
            EXPECT_NEAR(testsig::Cents(Loudest().frequency, f), 0.0, 0.05) << f << " " << phase;
        }
    }
}

TEST_F(Fundamentals, TheCombFindsTheFundamentalOfTheLowHarmonics) {
    PeakList full, even, stiff;
    double weighted = 0.0, sum = 0.0;
    for (int k = 1; k <= 12; ++k) {
        if (k <= 8)
            full.push_back({110.0f * k, 1.0e6f});
        if (k <= 4)
            even.push_back({220.0f * k, 1.0e6f});
        // A stiff string: partial k at k f0 sqrt(1 + B k^2), 47 cents sharp at k = 12; the
        // reading is the amplitude-weighted fundamental of partials 1 to 5.
        const double fk = k * 110.0 * std::sqrt(1.0 + 4.0e-4 * k * k);
        stiff.push_back({static_cast<float>(fk), static_cast<float>(1.0e6 / k)});
        if (k <= 5) {
            weighted += 1.0e6 / k * fk / k;
            sum += 1.0e6 / k;
        }
    }
    const struct {
        PeakList peaks;
        double f0;
        int octave;
    } cases[] = {{full, 110.0, 2}, {even, 220.0, 3}, {stiff, weighted / sum, 2}};
    for (const auto& c : cases) {
        Peaks(c.peaks);
        EXPECT_EQ(Found(), 1) << c.f0;
        EXPECT_EQ(Loudest().note, 9) << c.f0;
        EXPECT_EQ(Loudest().octave, c.octave) << c.f0;
        EXPECT_NEAR(testsig::Cents(Loudest().frequency, c.f0), 0.0, 0.01) << c.f0;
    }
    Peaks({{220.0f, 1.0e6f}, {440.0f, 1.0e6f}}); // harmonics one and two alone are no note
    EXPECT_EQ(Found(), 0);
    Frame(testsig::Harmonic(82.41, 8000.0, 12)); // a low E string
    EXPECT_EQ(Found(), 1);
    EXPECT_EQ(Loudest().note, 4);
    EXPECT_EQ(Loudest().octave, 2);
    EXPECT_NEAR(Loudest().cents, testsig::Cents(82.41, 440.0 * std::pow(2.0, -29 / 12.0)), 0.1);
}

TEST_F(Fundamentals, ConcertAChangeDuringAnalysisNeverMixesTables) {
    // A 440 Hz tone is A4 + 0 cents against 440 and + 39.8 against 430. The window thread flips
    // concert A while frames run: every frame uses one whole table, never a mix.
    ASSERT_TRUE(a.SetConcertA(430.0f));
    Frame(testsig::Harmonic(440.0, 8000.0, 8, 5000.0));
    EXPECT_NEAR(Loudest().cents, 39.8f, 0.1f);
    std::vector<float> frame(1024);
    testsig::Fill(frame.data(), 1024, 11025, testsig::Harmonic(440.0, 8000.0, 8, 5000.0));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done.load(); ++i)
            a.SetConcertA(i % 2 ? 430.0f : 440.0f);
    });
    for (int i = 0; i < 300; ++i) {
        std::copy(frame.begin(), frame.end(), a.FrameBuffer());
        ASSERT_TRUE(a.AnalyseFrame(false, 128));
        const PitchResult& r = Loudest();
        ASSERT_EQ(r.note * 10 + r.octave, 94);
        ASSERT_TRUE(std::fabs(r.cents) < 0.1f || std::fabs(r.cents - 39.8f) < 0.1f) << r.cents;
    }
    done = true;
    writer.join();
}

} // namespace
