#pragma once
// Musical vocabulary shared by the whole tuner: note indexes and key names, octave numbering,
// concert A limits and the instrument-key transposition.
//
// Note index: 0..11 counted from C (0 = C, 9 = A). Octave: scientific numbering, concert A is
// note 9 of octave 4 and the octave number changes between B (11) and C (0).

#include <array>
#include <cstdint>
#include <string>

constexpr int32_t kNoteCount = 12;

// Key selector items in index order; also the names of the twelve note indexes.
constexpr std::array<const char*, kNoteCount> kKeyNames = {"C",  "C#", "D",  "Eb", "E",  "F",
                                                           "F#", "G",  "G#", "A",  "Bb", "B"};

// Concert A in hertz: the frequency of A4, settable in tenths of a hertz.
constexpr float kMinConcertA = 430.0f;
constexpr float kMaxConcertA = 450.0f;
constexpr float kDefaultConcertA = 440.0f;

// True for 430.0 <= hz <= 450.0 (false for NaN).
constexpr bool IsValidConcertA(float hz) {
    return hz >= kMinConcertA && hz <= kMaxConcertA;
}

// Text of the concert A button: "%.1f%s" of hz and " Hz", e.g. "440.0 Hz", "432.3 Hz".
// Always uses a decimal point, whatever the process locale.
std::string ConcertAButtonText(float hz);

// True for a key index the selector can show (0..11).
constexpr bool IsValidKeyIndex(int32_t keyIndex) {
    return keyIndex >= 0 && keyIndex < kNoteCount;
}

struct ShownNote {
    int32_t note;   // 0..11
    int32_t octave; // one lower than the concert octave when the key moved the note below C
    bool operator==(const ShownNote&) const = default;
};

// Concert pitch lowered by keyIndex half-steps: with key k, concert note k shows as C.
// Key 0 (C) leaves the note unchanged. A key index outside 0..11 transposes nothing, so a
// damaged setting can never name a wrong note or octave. Cents are not affected.
ShownNote Transpose(int32_t note, int32_t octave, int32_t keyIndex);
