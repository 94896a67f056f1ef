#include "analysis/FramePipeline.h"

#include <algorithm>

namespace {

// The tuner's search, whatever the configuration.
constexpr int kPeaks = 20;
constexpr int kPrimes = 7;
constexpr int kCandidatesPerOctave = 24;

// The hop floor at 11025 Hz; other rates scale it to the same length of audio.
constexpr int kFloorAt11025 = 32;

} // namespace

bool LiveConfiguration(int sampleRate, FrameConfig& config) {
    for (const RecordingConfig& c : kRecordingConfigs) {
        if (c.frame.sampleRate == sampleRate) {
            config = c.frame;
            return true;
        }
    }
    return false;
}

int HopFloor(int sampleRate) {
    const long long samples = static_cast<long long>(sampleRate) * kFloorAt11025 / 11025;
    return samples < 1 ? 1 : samples > 1 << 20 ? 1 << 20 : static_cast<int>(samples);
}

bool SetUpAnalyser(PitchAnalyser& analyser, const FrameConfig& config) {
    return analyser.Setup(config.frameLength, config.sampleRate, kPeaks, kPrimes,
                          kCandidatesPerOctave, config.lowest);
}

FrameAnalysis AnalyseFrame(PitchAnalyser& analyser, bool timeCheck, int hop) {
    FrameAnalysis a;
    a.inputLevel = analyser.InputLevel();
    a.analysed = analyser.AnalyseFrame(timeCheck, hop);
    return a;
}

int ChooseLoudest(const PitchResult* results) {
    int best = 0;
    float bestLevel = -100.0f;
    for (int i = 0; i < PitchAnalyser::kClasses; ++i) {
        if (results[i].level > bestLevel) {
            bestLevel = results[i].level;
            best = i;
        }
    }
    return best;
}

FrameReading TrackFrame(PitchTracker& tracker, const PitchResult* results, float hop, int rate,
                        float inputLevel) {
    FrameReading r;
    r.best = results[ChooseLoudest(results)];
    r.reading = tracker.Track(r.best, hop, rate, inputLevel);
    r.hold = tracker.Hold();
    r.averageInputLevel = tracker.AverageInputLevel();
    return r;
}

std::array<float, kHarmonicsFound> FindHarmonics(const FramePeaks& peaks, float fundamental) {
    std::array<float, kHarmonicsFound> found{};
    if (!(fundamental > 0.0f) || peaks.frequencies == nullptr || peaks.amplitudes == nullptr)
        return found;
    float strongest = 0.0f;
    for (int i = 0; i < peaks.count; ++i)
        strongest = std::max(strongest, peaks.amplitudes[i]);
    const float floor = strongest / 100.0f;
    // 50 cents either side: 2^(1/24).
    constexpr float kSpan = 1.0293022f;
    for (int k = 2; k < 2 + kHarmonicsFound; ++k) {
        const float centre = fundamental * static_cast<float>(k);
        float best = 0.0f;
        float bestAmp = 0.0f;
        for (int i = 0; i < peaks.count; ++i) {
            const float f = peaks.frequencies[i];
            const float a = peaks.amplitudes[i];
            if (a > 0.0f && a >= floor && a > bestAmp && f > centre / kSpan && f < centre * kSpan) {
                best = f;
                bestAmp = a;
            }
        }
        found[static_cast<std::size_t>(k - 2)] = best;
    }
    return found;
}
