// Set-up, input level and the spectral peaks of a frame.

#include "Signals.h"
#include "analysis/PitchAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

class Peaks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(a.Setup(1024, 11025, 20, 7, 24, 20.0f)); }
    // Frequency and amplitude of the strongest peak of `partials`.
    std::pair<float, float> Strongest(const std::vector<testsig::Partial>& partials) {
        testsig::Fill(a.FrameBuffer(), 1024, 11025, partials);
        a.FindPeaks(false, 128);
        const float* amp = a.PeakAmplitudes();
        const int s = static_cast<int>(std::max_element(amp, amp + 20) - amp);
        return {a.PeakFrequencies()[s], amp[s]};
    }
    PitchAnalyser a;
};

TEST(AnalyserSetup, RejectsBadConfigurationsAndTearsDownTwice) {
    PitchAnalyser a;
    for (const auto& [n, rate, peaks, primes, lowest] : {std::tuple{1000, 11025, 20, 7, 20.0f},
                                                         {1, 11025, 20, 7, 20.0f},
                                                         {1024, 11025, 0, 7, 20.0f},
                                                         {1024, 11025, 20, 8, 20.0f},
                                                         {1024, 11025, 20, 7, 0.0f},
                                                         {1024, 400, 20, 7, 20.0f}}) {
        EXPECT_FALSE(a.Setup(n, rate, peaks, primes, 24, lowest)) << n << " " << peaks;
        EXPECT_FALSE(a.AnalyseFrame(false, 128));
    }
    ASSERT_TRUE(a.Setup(2048, 44100, 20, 7, 24, 35.0f));
    a.Teardown();
    a.Teardown();
    EXPECT_EQ(a.FrameBuffer(), nullptr);
}

TEST_F(Peaks, InputLevelIsTheLouderSideInTenLnUnitsOfSixty) {
    float* f = a.FrameBuffer();
    const struct {
        float low, high, level;
    } cases[] = {{0, 0, 0},
                 {-32768, 0, 1},
                 {0, 32767, 1},
                 {-100, static_cast<float>(32767 / std::exp(1.0)), 1 - 10 / 60.0f},
                 {static_cast<float>(-32768 / std::exp(1.0)), 100, 1 - 10 / 60.0f},
                 {-1, static_cast<float>(32767 * std::exp(-6.0)), 0}};
    for (const auto& c : cases) {
        std::fill_n(f, 1024, 0.0f);
        f[3] = c.low;
        f[9] = c.high;
        EXPECT_NEAR(a.InputLevel(), c.level, 1e-4) << c.low << " " << c.high;
    }
}

TEST_F(Peaks, FrequencyIsCorrectedWithinTheBinAndAmplitudeFollowsTheWindow) {
    for (double f = 200.0; f < 211.0; f += 0.77)
        EXPECT_NEAR(Strongest({{f, 8000.0, 1.0}}).first, f, 0.03) << f;
    // On a bin centre the Blackman window's sum, 0.42 N, gives 0.21 N A for a sine of A.
    EXPECT_NEAR(Strongest({{11025.0 * 93 / 1024, 32767.0}}).second, 0.21 * 1024 * 32767, 700.0);
}

TEST_F(Peaks, KeepsTheTwentyStrongestInFrequencyOrderAndClearsTheRest) {
    // 30 sines with distinct amplitudes: the even-numbered ones and the ten loudest odd ones.
    std::vector<testsig::Partial> p;
    std::vector<std::pair<double, double>> byAmp;
    for (int i = 0; i < 30; ++i) {
        const double amp = (i % 2 == 0) ? 900.0 + 10.0 * i : 100.0 + 20.0 * i;
        p.push_back({150.0 + 160.0 * i, amp, 0.1 * i});
        byAmp.push_back({amp, 150.0 + 160.0 * i});
    }
    testsig::Fill(a.FrameBuffer(), 1024, 11025, p);
    EXPECT_GE(a.FindPeaks(false, 128), 30);
    std::sort(byAmp.rbegin(), byAmp.rend());
    std::vector<double> want;
    for (int i = 0; i < 20; ++i)
        want.push_back(byAmp[static_cast<size_t>(i)].second);
    std::sort(want.begin(), want.end());
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(a.PeakFrequencies()[i], want[static_cast<size_t>(i)], 0.5) << i;
    // A silent frame next leaves no peak, and its analysis no pitch.
    std::fill_n(a.FrameBuffer(), 1024, 0.0f);
    ASSERT_TRUE(a.AnalyseFrame(true, 128));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(a.PeakAmplitudes()[i], 0.0f) << i;
    for (int c = 0; c < 12; ++c)
        EXPECT_EQ(a.Result(c).level, kNoPitchLevel) << c;
}

TEST_F(Peaks, TheFirstSearchBinAndPeaksOffCentreAreDropped) {
    // Bin m0 = trunc(1024 * 20 / 11025) = 1 is never a peak, nor are corrections out of a bin.
    Strongest({{11025.0 / 1024.0, 10000.0}});
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(a.PeakAmplitudes()[i] == 0.0f || a.PeakFrequencies()[i] > 16.0f) << i;
    // hop / 2 = 0: with the time check no peak lies close enough to the frame's centre.
    testsig::Fill(a.FrameBuffer(), 1024, 11025, {{440.0, 10000.0}});
    EXPECT_EQ(a.FindPeaks(true, 1), 0);
}

TEST(PeakCapacity, AFrameWithAMaximumInEveryOtherBinStaysInBounds) {
    // Two impulses half a frame apart: a maximum in every even bin, about N / 4 peaks.
    PitchAnalyser a;
    ASSERT_TRUE(a.Setup(2048, 44100, 20, 7, 24, 35.0f));
    std::fill_n(a.FrameBuffer(), 2048, 0.0f);
    a.FrameBuffer()[512] = a.FrameBuffer()[1536] = 20000.0f;
    const int found = a.FindPeaks(false, 128);
    EXPECT_GT(found, 480);
    EXPECT_LE(found, 512);
}

} // namespace
