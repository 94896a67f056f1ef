#include "tools/AnalyseFile.h"

#include "analysis/PitchAnalyser.h"
#include "analysis/PitchTracker.h"
#include "model/Notes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <memory>

bool LiveConfiguration(int sampleRate, FrameConfig& config) {
    switch (sampleRate) {
    case 11025:
        config = {1024, 11025, 20.0f};
        return true;
    case 22050:
        config = {1024, 22050, 35.0f};
        return true;
    case 44100:
        config = {2048, 44100, 35.0f};
        return true;
    default:
        return false;
    }
}

bool AnalyseRecording(const Recording& recording, const AnalyseOptions& options,
                      const std::function<void(const FrameReport&)>& onFrame, std::string& error) {
    const FrameConfig& cfg = options.config;
    if (options.hop < 1) {
        error = "hop must be at least 1";
        return false;
    }
    if (recording.sampleRate != cfg.sampleRate) {
        error = "recording rate differs from the frame configuration";
        return false;
    }
    // Say so rather than print nothing, which would read as analysed and silent.
    if (recording.samples.size() < static_cast<size_t>(cfg.frameLength)) {
        error = "shorter than one analysis frame (" + std::to_string(cfg.frameLength) +
                " samples at " + std::to_string(cfg.sampleRate) + " Hz)";
        return false;
    }
    PitchAnalyser analyser;
    if (!analyser.Setup(cfg.frameLength, cfg.sampleRate, 20, 7, 24, cfg.lowest)) {
        error = "analyser set-up failed";
        return false;
    }
    if (!analyser.SetConcertA(options.concertA)) {
        error = "concert A out of range";
        return false;
    }
    PitchTracker tracker;
    const int n = cfg.frameLength;
    const size_t total = recording.samples.size();
    FrameReport report;
    float heldCents = 0.0f;
    for (size_t start = 0; start + static_cast<size_t>(n) <= total;
         start += static_cast<size_t>(options.hop)) {
        std::copy_n(recording.samples.begin() + static_cast<std::ptrdiff_t>(start), n,
                    analyser.FrameBuffer());
        report.inputLevel = analyser.InputLevel();
        analyser.AnalyseFrame(false, options.hop);
        // The loudest class, the first one on ties, as the frame update picks it.
        int best = 0;
        float bestLevel = -100.0f;
        for (int c = 0; c < PitchAnalyser::kClasses; ++c) {
            if (analyser.Result(c).level > bestLevel) {
                bestLevel = analyser.Result(c).level;
                best = c;
            }
        }
        report.best = analyser.Result(best);
        report.classes = analyser.Results();
        report.reading = tracker.Track(report.best, static_cast<float>(options.hop), cfg.sampleRate,
                                       report.inputLevel);
        report.hold = tracker.Hold();
        if (!report.hold) {
            const PitchResult& r = report.reading;
            heldCents = tracker.AveragePitch() - 1200.0f * static_cast<float>(r.octave) -
                        100.0f * static_cast<float>(r.note) - 50.0f;
        }
        report.cents = heldCents;
        report.averageInputLevel = tracker.AverageInputLevel();
        report.time = static_cast<double>(start + static_cast<size_t>(n) - 1) / cfg.sampleRate;
        onFrame(report);
        ++report.index;
    }
    return true;
}

const char* KeyName(int note) {
    return kKeyNames[static_cast<size_t>(((note % 12) + 12) % 12)];
}

int KeyIndex(const std::string& name) {
    for (size_t i = 0; i < kKeyNames.size(); ++i) {
        const std::string k = kKeyNames[i];
        if (k.size() == name.size() &&
            std::equal(k.begin(), k.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
