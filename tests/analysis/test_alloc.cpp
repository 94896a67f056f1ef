// The frame path allocates nothing: the C library's allocation functions are replaced by counting
// ones, and the count must not move across the frame steps (analysis and tracker) and SetConcertA,
// in every recording configuration.

#include "Signals.h"
#include "analysis/FramePipeline.h"
#include "tests/common/CallbackCalls.h"

#include <gtest/gtest.h>

namespace {

class NoAllocation : public ::testing::TestWithParam<RecordingConfig> {};

TEST_P(NoAllocation, InTheFramePath) {
    const int n = GetParam().frame.frameLength;
    const int rate = GetParam().frame.sampleRate;
    PitchAnalyser a;
    ASSERT_TRUE(SetUpAnalyser(a, GetParam().frame));
    PitchTracker tracker;
    // Prepared before counting: silence, a harmonic tone and noise.
    std::vector<std::vector<float>> frames(3, std::vector<float>(n, 0.0f));
    testsig::Fill(frames[1].data(), n, rate, testsig::Harmonic(110.0, 8000.0, 12));
    testsig::Noise(frames[2].data(), n, 20000.0);
    Probe(true);
    for (int round = 0; round < 4; ++round) {
        for (const auto& f : frames) {
            std::copy(f.begin(), f.end(), a.FrameBuffer());
            const float level = AnalyseFrame(a, round % 2 == 0, 128).inputLevel;
            TrackFrame(tracker, a.Results(), 128.0f, rate, level);
        }
        a.SetConcertA(round % 2 ? 440.0f : 432.5f);
    }
    Probe(false);
    EXPECT_EQ(g_allocations.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(LiveConfigurations, NoAllocation, ::testing::ValuesIn(kRecordingConfigs));

} // namespace
