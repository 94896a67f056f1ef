#pragma once

// One pitch reading: the best fundamental of one pitch class in a frame, or the tracker's
// steady reading. Five 32-bit fields in this order.
struct PitchResult {
    int note = 0;           // pitch class 0..11, 0 = C, 9 = A
    int octave = 0;         // scientific numbering, concert A in octave 4, never negative
    float cents = 0.0f;     // 1200 * log2(f / nearest table note), about -50..+50
    float level = 0.0f;     // 10 * ln(E / 3e6), -90..0; -90 = no pitch
    float frequency = 0.0f; // Hz
};

static_assert(sizeof(PitchResult) == 20, "PitchResult is five 32-bit fields");

// The level of a class with nothing found.
inline constexpr float kNoPitchLevel = -90.0f;

// The empty result of pitch class i: (i, 0, 0, -90, 0).
inline PitchResult EmptyPitchResult(int pitchClass) {
    return PitchResult{pitchClass, 0, 0.0f, kNoPitchLevel, 0.0f};
}
