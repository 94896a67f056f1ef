#pragma once

#include "analysis/PitchResult.h"

#include <vector>

// Removes ghost pitch classes: harmonics of one note often fall on the harmonics of another
// class, so the class explaining the smallest unique share of the spectrum is dropped, one at a
// time, while that share is below a quarter.
//
// Used only from PitchAnalyser::AnalyseFrame on the capture thread. All arrays are sized by
// Setup; no per-frame call allocates.
class PitchClassArbiter {
public:
    // classes C (12), peaks P (maxPeaks). Frees earlier arrays, allocates anew, ends with
    // ResetAll. False on bad sizes or when memory runs out.
    bool Setup(int classes, int peaks);
    void Teardown();

    // Every peak (0, 0); class c = (c, 0, 0, 0, 0); memberships and total cleared.
    void ResetAll();
    // Peak i = (frequency i, amplitude i), total += amplitude i, for i below min(count, P).
    void LoadPeaks(const float* frequencies, const float* amplitudes, int count);
    // Class c = (c, 0, 0, 0, 0), its membership row cleared.
    void ResetClass(int c);
    void SetClassOctave(int c, int octave);
    void SetClassFrequency(int c, float frequency);
    // Makes the first peak within 0.1 Hz of `frequency` a member of class c and adds its
    // amplitude to the class energy. False for frequency below 0.1 Hz or no such peak.
    bool AssignPeak(int c, float frequency);
    // Orders the active classes (energy above 0.1) by energy and computes each one's unique
    // share of the total. False when no class is active.
    bool ComputeShares();
    // Drops the class with the smallest unique share when it is below 0.25 and recomputes.
    // False when nothing was dropped.
    bool RemoveWeakest();
    // Copies the C class records (note = c, octave, cents 0, energy in `level`, frequency).
    void CopyClasses(PitchResult* destination) const;

private:
    int m_nClasses = 0;
    int m_nPeaks = 0;
    int m_nActive = 0;
    float m_fTotal = 0.0f;
    std::vector<PitchResult> m_classes;
    std::vector<float> m_peakFrequency;
    std::vector<float> m_peakAmplitude;
    std::vector<unsigned char> m_membership; // C x P
    std::vector<int> m_order;
    std::vector<float> m_uniqueShare;
    std::vector<float> m_energyScratch;
};
