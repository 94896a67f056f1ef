#pragma once

// Offline analysis of recordings, frame by frame, as the live tuner does it: used by
// tarvo-analyse, its tests and the benchmarks.

#include "analysis/PitchResult.h"
#include "tools/AudioFile.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Frame length, rate and lowest frequency of one of the tuner's recording configurations.
struct FrameConfig {
    int frameLength = 1024;
    int sampleRate = 11025;
    float lowest = 20.0f; // Hz
};

// The tuner's configuration for a recording rate: 11025 Hz (1024, 20 Hz, its first choice),
// 22050 Hz (1024, 35 Hz) or 44100 Hz (2048, 35 Hz). False for any other rate.
bool LiveConfiguration(int sampleRate, FrameConfig& config);

struct AnalyseOptions {
    FrameConfig config;
    int hop = 128;           // samples between frames
    float concertA = 440.0f; // Hz
};

// What one frame gave.
struct FrameReport {
    long index = 0;                       // frame number from 0
    double time = 0.0;                    // s, time of the frame's last sample in the file
    float inputLevel = 0;                 // 0..1 of this frame
    const PitchResult* classes = nullptr; // the twelve per-class results
    PitchResult best;                     // loudest class, the first on ties
    PitchResult reading;                  // tracker output (the held reading while holding)
    bool hold = false;
    // Cents of the averaged pitch from the reading's note, without the half-cent rounding
    // offset the tuner's display truncation relies on; the held value while holding.
    float cents = 0.0f;
    float averageInputLevel = 0.0f;
};

// Cuts frames of config.frameLength every `hop` samples from the start, and for each runs the
// input level, AnalyseFrame (time check off), the loudest-class pick and PitchTracker::Track,
// then calls onFrame. False with `error` set for a bad configuration.
bool AnalyseRecording(const Recording& recording, const AnalyseOptions& options,
                      const std::function<void(const FrameReport&)>& onFrame, std::string& error);

// "C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B".
const char* KeyName(int note);
// Index of a key name (case-insensitive), or -1.
int KeyIndex(const std::string& name);
