// Set-up, input level and the spectral peaks of a frame.

#include "Signals.h"
#include "analysis/PitchAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using testsig::Partial;

class Peaks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(a.Setup(1024, 11025, 20, 7, 24, 20.0f)); }
    PitchAnalyser a;
};

int StrongestPeak(const PitchAnalyser& a) {
    const float* amp = a.PeakAmplitudes();
    return static_cast<int>(std::max_element(amp, amp + a.MaxPeaks()) - amp);
}

TEST(AnalyserSetup, RejectsFramesThatAreNoPowerOfTwo) {
    PitchAnalyser a;
    EXPECT_FALSE(a.Setup(1000, 11025, 20, 7, 24, 20.0f));
    EXPECT_FALSE(a.Setup(0, 11025, 20, 7, 24, 20.0f));
    EXPECT_FALSE(a.Setup(1, 11025, 20, 7, 24, 20.0f));
    EXPECT_FALSE(a.Setup(-1024, 11025, 20, 7, 24, 20.0f));
    EXPECT_FALSE(a.IsSetUp());
    EXPECT_EQ(a.FrameBuffer(), nullptr);
    EXPECT_FALSE(a.AnalyseFrame(false, 128));
}

TEST(AnalyserSetup, RejectsOtherBadConfigurations) {
    PitchAnalyser a;
    EXPECT_FALSE(a.Setup(1024, 0, 20, 7, 24, 20.0f));
    EXPECT_FALSE(a.Setup(1024, 11025, 0, 7, 24, 20.0f));
    EXPECT_FALSE(a.Setup(1024, 11025, 20, 8, 24, 20.0f));
    EXPECT_FALSE(a.Setup(1024, 11025, 20, 7, 0, 20.0f));
    EXPECT_FALSE(a.Setup(1024, 11025, 20, 7, 24, 0.0f));
    // No note table can be built when the rate lies below concert A.
    EXPECT_FALSE(a.Setup(1024, 400, 20, 7, 24, 20.0f));
}

TEST(AnalyserSetup, RunsAgainAndTearsDownTwice) {
    PitchAnalyser a;
    ASSERT_TRUE(a.Setup(512, 11025, 20, 7, 24, 35.0f));
    ASSERT_TRUE(a.Setup(2048, 44100, 20, 7, 24, 35.0f));
    EXPECT_EQ(a.FrameLength(), 2048);
    EXPECT_NE(a.FrameBuffer(), nullptr);
    a.Teardown();
    a.Teardown();
    EXPECT_FALSE(a.IsSetUp());
}

TEST_F(Peaks, InputLevelOfFullScaleOneOverEAndSilence) {
    float* f = a.FrameBuffer();
    std::fill_n(f, 1024, 0.0f);
    EXPECT_FLOAT_EQ(a.InputLevel(), 0.0f);

    f[100] = 32767.0f;
    EXPECT_FLOAT_EQ(a.InputLevel(), 1.0f);
    f[100] = 0.0f;
    f[7] = -32768.0f;
    EXPECT_FLOAT_EQ(a.InputLevel(), 1.0f);

    std::fill_n(f, 1024, 0.0f);
    f[3] = static_cast<float>(32767.0 / std::exp(1.0));
    EXPECT_NEAR(a.InputLevel(), 1.0f - 10.0f / 60.0f, 1e-4);

    // At or below e^-6 of full scale the level is 0.
    f[3] = static_cast<float>(32767.0 * std::exp(-6.0));
    EXPECT_NEAR(a.InputLevel(), 0.0f, 1e-4);
    f[3] = 1.0f;
    EXPECT_FLOAT_EQ(a.InputLevel(), 0.0f);

    // The negative side scales by 32768.
    std::fill_n(f, 1024, 0.0f);
    f[5] = static_cast<float>(-32768.0 / std::exp(1.0));
    EXPECT_NEAR(a.InputLevel(), 1.0f - 10.0f / 60.0f, 1e-4);
}

TEST_F(Peaks, BetweenBinSineIsCorrectedToTheTrueFrequency) {
    // 440.3 Hz: nearest bin 41 at 441.4 Hz; the reassignment, not the bin, sets the frequency.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{440.3, 10000.0}});
    const int found = a.FindPeaks(false, 128);
    ASSERT_GE(found, 1);
    const int s = StrongestPeak(a);
    EXPECT_NEAR(a.PeakFrequencies()[s], 440.3f, 0.03f);
    EXPECT_NEAR(a.PeakAmplitudes()[s], 2.1e6f, 0.1e6f);
}

TEST_F(Peaks, CorrectionHoldsAcrossTheBin) {
    for (double f = 200.0; f < 211.0; f += 0.77) {
        testsig::Fill(a.FrameBuffer(), 1024, 11025, {{f, 8000.0, 1.0}});
        a.FindPeaks(false, 128);
        EXPECT_NEAR(a.PeakFrequencies()[StrongestPeak(a)], f, 0.03) << f;
    }
}

TEST_F(Peaks, FullScaleSineAmplitudeFollowsFrameLength) {
    // On bin centres (bins 93 and 46), where the window's sum alone sets the amplitude: the
    // Blackman window over N points sums to 0.42 N, so a sine of amplitude A gives 0.21 N A.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{11025.0 * 93 / 1024, 32767.0}});
    a.FindPeaks(false, 128);
    EXPECT_NEAR(a.PeakAmplitudes()[StrongestPeak(a)], 0.21 * 1024 * 32767, 700.0);

    PitchAnalyser half;
    ASSERT_TRUE(half.Setup(512, 11025, 20, 7, 24, 35.0f));
    testsig::Fill(half.FrameBuffer(), 512, 11025, {{11025.0 * 46 / 512, 32767.0}});
    half.FindPeaks(false, 128);
    EXPECT_NEAR(half.PeakAmplitudes()[StrongestPeak(half)], 0.21 * 512 * 32767, 350.0);
}

TEST_F(Peaks, KeepsTheTwentyStrongestInFrequencyOrder) {
    // 30 sines, well apart, with distinct amplitudes; the 20 loudest are the even-numbered ones
    // plus the ten loudest odd ones.
    std::vector<Partial> p;
    std::vector<std::pair<double, double>> expected;
    for (int i = 0; i < 30; ++i) {
        const double f = 150.0 + 160.0 * i;
        const double amp = (i % 2 == 0) ? 900.0 + 10.0 * i : 100.0 + 20.0 * i;
        p.push_back({f, amp, 0.1 * i});
        expected.push_back({amp, f});
    }
    testsig::Fill(a.FrameBuffer(), 1024, 11025, p);
    const int found = a.FindPeaks(false, 128);
    EXPECT_GE(found, 30);

    std::sort(expected.rbegin(), expected.rend());
    std::vector<double> want;
    for (int i = 0; i < 20; ++i) {
        want.push_back(expected[i].second);
    }
    std::sort(want.begin(), want.end());
    for (int i = 0; i < 20; ++i) {
        EXPECT_NEAR(a.PeakFrequencies()[i], want[i], 0.5) << i;
        EXPECT_GT(a.PeakAmplitudes()[i], 0.0f);
    }
    for (int i = 1; i < 20; ++i) {
        EXPECT_LT(a.PeakFrequencies()[i - 1], a.PeakFrequencies()[i]);
    }
}

TEST_F(Peaks, UnusedEntriesAreClearedEachFrame) {
    // A busy frame fills all twenty entries; a silent frame next leaves none of them.
    std::vector<Partial> p;
    for (int i = 0; i < 25; ++i) {
        p.push_back({150.0 + 200.0 * i, 1000.0, 0.2 * i});
    }
    testsig::Fill(a.FrameBuffer(), 1024, 11025, p);
    EXPECT_GE(a.FindPeaks(false, 128), 25);
    EXPECT_GT(a.PeakAmplitudes()[19], 0.0f);

    std::fill_n(a.FrameBuffer(), 1024, 0.0f);
    EXPECT_EQ(a.FindPeaks(false, 128), 0);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(a.PeakAmplitudes()[i], 0.0f) << i;
        EXPECT_EQ(a.PeakFrequencies()[i], 0.0f) << i;
    }
    // ...so the next analysis of silence finds no pitch in stale peaks: every class empty.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, p);
    a.FindPeaks(false, 128);
    std::fill_n(a.FrameBuffer(), 1024, 0.0f);
    EXPECT_FLOAT_EQ(a.InputLevel(), 0.0f);
    ASSERT_TRUE(a.AnalyseFrame(true, 128));
    for (int c = 0; c < 12; ++c) {
        const PitchResult& r = a.Result(c);
        EXPECT_EQ(r.note, c);
        EXPECT_EQ(r.octave, 0);
        EXPECT_EQ(r.level, -90.0f) << c;
        EXPECT_EQ(r.frequency, 0.0f);
    }
}

TEST_F(Peaks, TheFirstSearchBinIsNeverAPeak) {
    // m0 = trunc(1024 * 20 / 11025) = 1; a tone centred on bin 1 is not reported.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{11025.0 / 1024.0, 10000.0}});
    a.FindPeaks(false, 128);
    for (int i = 0; i < 20; ++i) {
        if (a.PeakAmplitudes()[i] > 0.0f) {
            EXPECT_GT(a.PeakFrequencies()[i], 16.0f);
        }
    }
}

TEST(PeakCapacity, AFrameWithAMaximumInEveryOtherBinStaysInBounds) {
    // Two equal impulses half a frame apart put a spectral maximum in every even bin: about
    // N / 4 = 512 peaks at N = 2048, more than maxPeaks * 24.
    PitchAnalyser a;
    ASSERT_TRUE(a.Setup(2048, 44100, 20, 7, 24, 35.0f));
    float* f = a.FrameBuffer();
    std::fill_n(f, 2048, 0.0f);
    f[512] = 20000.0f;
    f[1536] = 20000.0f;
    const int found = a.FindPeaks(false, 128);
    EXPECT_GT(found, 480);
    EXPECT_LE(found, 512);
    for (int i = 0; i < 20; ++i) {
        EXPECT_GT(a.PeakAmplitudes()[i], 0.0f);
    }
}

TEST_F(Peaks, TimeCheckDropsEverythingForAHopBelowTwo) {
    // hop / 2 = 0: no peak can lie closer than that to the frame centre.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{440.0, 10000.0}});
    EXPECT_EQ(a.FindPeaks(true, 1), 0);
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{440.0, 10000.0}});
    EXPECT_GE(a.FindPeaks(true, 128), 1);
    EXPECT_NEAR(a.PeakFrequencies()[StrongestPeak(a)], 440.0f, 0.05f);
}

} // namespace
