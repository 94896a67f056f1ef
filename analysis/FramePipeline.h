#pragma once

// How one frame of samples becomes the reading the tuner shows, said once for the live tuner
// and for tarvo-analyse: the recording configurations, the analyser's set-up, the smallest hop,
// and the steps of a frame (input level, analysis, loudest class, tracker).

#include "analysis/PitchAnalyser.h"
#include "analysis/PitchResult.h"
#include "analysis/PitchTracker.h"

#include <array>

// Frame length, rate and lowest frequency the analyser is set up with.
struct FrameConfig {
    int frameLength = 1024;
    int sampleRate = 11025;
    float lowest = 20.0f; // Hz
};

// One recording configuration; the recording start tries them in order until one starts.
struct RecordingConfig {
    bool savedDevice; // the settings' recording device, else the default device (0)
    FrameConfig frame;
};

inline constexpr std::array<RecordingConfig, 6> kRecordingConfigs{{
    {true, {1024, 11025, 20.0f}},
    {true, {1024, 22050, 35.0f}},
    {true, {2048, 44100, 35.0f}},
    {false, {512, 11025, 35.0f}},
    {false, {1024, 22050, 35.0f}},
    {false, {2048, 44100, 35.0f}},
}};

// The configuration the tuner analyses a rate with: the first of kRecordingConfigs at that
// rate (11025, 22050 or 44100 Hz). False for any other rate.
bool LiveConfiguration(int sampleRate, FrameConfig& config);

// The smallest hop in samples at a rate: 32 at 11025 Hz, 64 at 22050 and 128 at 44100, 2.9 ms
// of audio. Smaller hops read no better (the tracker's spans are counted in frames, and below
// this its jitter span outgrows its history) and cost a core's worth of frames nobody sees.
int HopFloor(int sampleRate);

// Sets the analyser up for `config` with the tuner's search: 20 peaks, 7 primes, 24 candidates
// per octave. False as PitchAnalyser::Setup.
bool SetUpAnalyser(PitchAnalyser& analyser, const FrameConfig& config);

struct FrameAnalysis {
    float inputLevel = 0.0f; // 0..1, of the raw frame
    bool analysed = false;   // AnalyseFrame's result
};

// The frame in the analyser's buffer: its input level first (the analysis windows the buffer
// in place), then AnalyseFrame. The twelve results are then in analyser.Results().
FrameAnalysis AnalyseFrame(PitchAnalyser& analyser, bool timeCheck, int hop);

// The class the tracker follows: the first of the twelve with the strictly highest level (a
// running best that starts at -100); class 0 when none is above -100.
int ChooseLoudest(const PitchResult* results);

// What one frame shows once tracked.
struct FrameReading {
    PitchResult best;    // the loudest class
    PitchResult reading; // the tracker's reading (the held one while it holds)
    bool hold = false;
    float averageInputLevel = 0.0f; // 0..1, what the energy gauge shows
};

// A frame's spectral peaks (PitchAnalyser's PeakList): frequencies in Hz and amplitudes, an
// amplitude of 0 marking an empty entry.
struct FramePeaks {
    const float* frequencies = nullptr;
    const float* amplitudes = nullptr;
    int count = 0;
};

// Harmonics 2, 3 and 4 of `fundamental` (Hz) among the frame's peaks: for harmonic k the
// strongest peak within 50 cents of k times the fundamental, counted only when it is at least a
// hundredth of the frame's strongest peak (weaker ones are the window's side lobes and noise);
// 0 where there is none.
inline constexpr int kHarmonicsFound = 3;
std::array<float, kHarmonicsFound> FindHarmonics(const FramePeaks& peaks, float fundamental);

// The loudest of the twelve results through the tracker. hop: samples since the previous
// frame; rate: Hz; inputLevel: of this frame.
FrameReading TrackFrame(PitchTracker& tracker, const PitchResult* results, float hop, int rate,
                        float inputLevel);
