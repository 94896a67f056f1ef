#include "analysis/PitchClassArbiter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

namespace {
constexpr float kActiveEnergy = 0.1f;
constexpr float kMatchTolerance = 0.1f; // Hz
constexpr float kMinimumShare = 0.25f;
} // namespace

bool PitchClassArbiter::Setup(int classes, int peaks) {
    Teardown();
    if (classes < 1 || peaks < 1) {
        return false;
    }
    try {
        m_classes.assign(classes, PitchResult{});
        m_peakFrequency.assign(peaks, 0.0f);
        m_peakAmplitude.assign(peaks, 0.0f);
        m_membership.assign(static_cast<size_t>(classes) * peaks, 0);
        m_order.assign(classes, 0);
        m_uniqueShare.assign(classes, 0.0f);
        m_energyScratch.assign(classes, 0.0f);
    } catch (const std::bad_alloc&) {
        Teardown();
        return false;
    }
    m_nClasses = classes;
    m_nPeaks = peaks;
    ResetAll();
    return true;
}

void PitchClassArbiter::Teardown() {
    m_classes = {};
    m_peakFrequency = {};
    m_peakAmplitude = {};
    m_membership = {};
    m_order = {};
    m_uniqueShare = {};
    m_energyScratch = {};
    m_nClasses = 0;
    m_nPeaks = 0;
    m_nActive = 0;
    m_fTotal = 0.0f;
}

void PitchClassArbiter::ResetAll() {
    std::fill(m_peakFrequency.begin(), m_peakFrequency.end(), 0.0f);
    std::fill(m_peakAmplitude.begin(), m_peakAmplitude.end(), 0.0f);
    for (int c = 0; c < m_nClasses; ++c) {
        m_classes[c] = PitchResult{c, 0, 0.0f, 0.0f, 0.0f};
    }
    std::fill(m_energyScratch.begin(), m_energyScratch.end(), 0.0f);
    std::fill(m_membership.begin(), m_membership.end(), 0);
    std::fill(m_order.begin(), m_order.end(), 0);
    std::fill(m_uniqueShare.begin(), m_uniqueShare.end(), 0.0f);
    m_nActive = 0;
    m_fTotal = 0.0f;
}

void PitchClassArbiter::LoadPeaks(const float* frequencies, const float* amplitudes, int count) {
    const int n = std::min(count, m_nPeaks);
    for (int i = 0; i < n; ++i) {
        m_peakFrequency[i] = frequencies[i];
        m_peakAmplitude[i] = amplitudes[i];
        m_fTotal += amplitudes[i];
    }
}

void PitchClassArbiter::ResetClass(int c) {
    m_classes[c] = PitchResult{c, 0, 0.0f, 0.0f, 0.0f};
    std::fill_n(m_membership.begin() + static_cast<std::ptrdiff_t>(c) * m_nPeaks, m_nPeaks, 0);
}

void PitchClassArbiter::SetClassOctave(int c, int octave) {
    m_classes[c].octave = octave;
}

void PitchClassArbiter::SetClassFrequency(int c, float frequency) {
    m_classes[c].frequency = frequency;
}

bool PitchClassArbiter::AssignPeak(int c, float frequency) {
    if (frequency < kMatchTolerance) {
        return false;
    }
    for (int p = 0; p < m_nPeaks; ++p) {
        if (std::fabs(m_peakFrequency[p] - frequency) <= kMatchTolerance) {
            m_membership[c * m_nPeaks + p] = 1;
            m_classes[c].level += m_peakAmplitude[p];
            return true;
        }
    }
    return false;
}

bool PitchClassArbiter::ComputeShares() {
    std::fill(m_order.begin(), m_order.end(), 0);
    std::fill(m_uniqueShare.begin(), m_uniqueShare.end(), 0.0f);
    m_nActive = 0;
    for (int c = 0; c < m_nClasses; ++c) {
        if (m_classes[c].level > kActiveEnergy) {
            ++m_nActive;
        }
        m_energyScratch[c] = m_classes[c].level;
    }
    if (m_nActive == 0) {
        return false;
    }
    for (int k = 0; k < m_nActive; ++k) {
        // First index of the largest value wins ties.
        const auto it = std::max_element(m_energyScratch.begin(), m_energyScratch.end());
        m_order[k] = static_cast<int>(it - m_energyScratch.begin());
        *it = 0.0f;
    }
    for (int k = 0; k < m_nActive; ++k) {
        const int a = m_order[k];
        for (int p = 0; p < m_nPeaks; ++p) {
            if (!m_membership[a * m_nPeaks + p]) {
                continue;
            }
            bool shared = false;
            for (int j = 0; j < m_nActive && !shared; ++j) {
                const int b = m_order[j];
                shared = b != a && m_membership[b * m_nPeaks + p];
            }
            if (!shared && m_fTotal > 0.0f) {
                m_uniqueShare[k] += m_peakAmplitude[p] / m_fTotal;
            }
        }
    }
    return true;
}

bool PitchClassArbiter::RemoveWeakest() {
    if (m_nActive == 0) {
        return false;
    }
    const auto first = m_uniqueShare.begin();
    const auto it = std::min_element(first, first + m_nActive);
    if (*it >= kMinimumShare) {
        return false;
    }
    ResetClass(m_order[it - first]);
    ComputeShares();
    return true;
}

void PitchClassArbiter::CopyClasses(PitchResult* destination) const {
    std::copy(m_classes.begin(), m_classes.end(), destination);
}
