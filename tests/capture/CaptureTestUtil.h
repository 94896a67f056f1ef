#pragma once
// Helpers shared by the capture tests.

#include "analysis/PitchResult.h"
#include "capture/RecordingStart.h"
#include "capture/SimulatedWaveIn.h"
#include "capture/TunerEngine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Polls `pred` until it holds or `timeoutMs` passes; returns its last value.
template <typename Pred> bool WaitFor(Pred pred, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Writes `seconds` of a tone of five partials as raw 16-bit mono at 11025 Hz, the rate the first
// recording attempt opens.
inline void WriteTone(const std::filesystem::path& path, double hz, double seconds,
                      double amplitude) {
    std::vector<int16_t> s(static_cast<size_t>(seconds * 11025));
    SineSource(hz, 11025, amplitude, 5).Fill(s.data(), s.size());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(s.data()),
               static_cast<std::streamsize>(s.size() * sizeof(int16_t)));
}

// Records what the recording start would show the user.
struct ReporterLog : RecordingReporter {
    std::vector<std::pair<std::string, std::string>> warnings; // (title, text)
    std::vector<std::string> lines;
    void ShowWarning(const std::string& title, const std::string& text) override {
        warnings.emplace_back(title, text);
    }
    void LogError(const std::string& message) override { lines.push_back(message); }
};

// Stands in for the window's frame update: names the loudest class of every frame (on the
// capture thread) and keeps, per note and octave, how many frames named it and their cents.
struct Window {
    TunerEngine* engine = nullptr;
    std::atomic<int> frames{0};
    std::atomic<int> pitched{0};

    static void OnFrame(void* self) {
        auto* w = static_cast<Window*>(self);
        const PitchResult* results = w->engine->GetResults();
        const PitchResult* best = std::max_element(results, results + 12, [](auto& a, auto& b) {
            return a.level < b.level; // the first of equals
        });
        if (best->level > kNoPitchLevel) {
            std::lock_guard lock(w->m_mutex);
            Tally& t = w->m_notes[{best->note, best->octave}];
            ++t.frames;
            t.cents += best->cents;
            w->pitched.fetch_add(1);
        }
        w->frames.fetch_add(1);
    }

    // Forgets the frames named so far.
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_notes.clear();
        pitched.store(0);
    }

    struct Tally {
        int frames = 0;
        double cents = 0.0; // summed
    };
    // The (note, octave) named most often, with its tally.
    std::pair<std::pair<int, int>, Tally> MostFrequent() {
        std::lock_guard lock(m_mutex);
        std::pair<std::pair<int, int>, Tally> best{{-1, -1}, {}};
        for (const auto& [k, v] : m_notes)
            if (v.frames > best.second.frames)
                best = {k, v};
        return best;
    }

private:
    std::mutex m_mutex;
    std::map<std::pair<int, int>, Tally> m_notes;
};
