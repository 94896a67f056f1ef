#include "analysis/FramePipeline.h"

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
