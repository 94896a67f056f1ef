#pragma once

#include "analysis/PitchResult.h"

#include <array>

// Turns the per-frame loudest result into the steady reading the user sees: averaging over a
// window that widens with jitter, flicker suppression between adjacent cent values, and a hold
// state that keeps the last good reading while no note is clearly there.
//
// A frame is a note when its pitch stands out from the quietest recent input; frames that are
// not (silence, noise, a missed frame) stay out of the pitch history. A note starts as soon as
// its frames agree for 10 ms, replaces the note followed without a hold, and once followed for
// 50 ms is carried across up to 50 ms of frames that miss it. All spans are in seconds, so the
// rule is the same at any hop.
//
// Called once per analysed frame on the capture thread; fixed arrays, no allocation per call.
class PitchTracker {
public:
    static constexpr int kRingSize = 1024;

    // result: loudest class of the frame; hop: samples since the previous frame; rate: Hz;
    // inputLevel: 0..1 from PitchAnalyser::InputLevel. Returns the reading to show (the held
    // one while holding).
    PitchResult Track(const PitchResult& result, float hop, int rate, float inputLevel);

    // Hold state of the last call.
    bool Hold() const { return m_bHold; }
    // Averages of the last call over the averaging window.
    float AverageInputLevel() const { return m_fAvgInputLevel; }
    float AveragePitch() const { return m_fAvgPitch; } // absolute pitch units (see AbsolutePitch)
    float WindowSeconds() const { return m_fWindowSeconds; }

    // 1200 * octave + 100 * note + cents + 50: cents above C0, moved up half a step so that
    // each half-step spans [100 n, 100 n + 100).
    static float AbsolutePitch(const PitchResult& r) {
        return 1200.0f * static_cast<float>(r.octave) + 100.0f * static_cast<float>(r.note) +
               r.cents + 50.0f;
    }

private:
    bool m_bPrevHold = false;
    bool m_bHold = false;
    int m_nWrite = 0;
    int m_nCount = 0;
    int m_nWritten = 0;           // entries ever written, at most kRingSize
    float m_fSinceNote = 1.0e30f; // samples since the followed note's latest frame
    float m_fFollowed = 0.0f;     // samples the followed note has lasted
    std::array<float, kRingSize> m_pitch{};
    std::array<float, kRingSize> m_smoothed{};
    std::array<float, kRingSize> m_level{};
    std::array<float, kRingSize> m_frequency{};
    std::array<float, kRingSize> m_hop{};
    std::array<float, kRingSize> m_inputLevel{};
    std::array<bool, kRingSize> m_note{};   // the frame was clearly a note
    std::array<bool, kRingSize> m_member{}; // ... and one of the note followed
    float m_fWindowSeconds = 0.05f;
    int m_nSmoothing = 0;
    int m_nCountdown = 0;
    float m_fAvgPitch = 0.0f;
    float m_fAvgLevel = 0.0f;
    float m_fAvgFrequency = 0.0f;
    float m_fAvgInputLevel = 0.0f;
    float m_fJitter = 0.0f;
    std::array<int, 3> m_round{-200, -100, -300}; // current, previous, second previous
    std::array<int, 3> m_run{0, 0, 0};
    PitchResult m_current{};
    PitchResult m_held{};
};
