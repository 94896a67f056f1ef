#include "analysis/PitchTracker.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kJitterSpan = 0.1f;     // s
constexpr float kStabilitySpan = 0.03f; // s
constexpr float kUnstableCents = 60.0f;
constexpr float kReleaseLevel = -27.0f;
constexpr float kHoldLevel = -30.0f;
constexpr float kSmoothJitter = 0.005f;
constexpr float kRoughJitter = 0.01f;
constexpr std::array<float, 4> kWindows{0.05f, 0.1f, 0.25f, 0.5f};
} // namespace

PitchResult PitchTracker::Track(const PitchResult& result, float hop, int rate, float inputLevel) {
    constexpr int kSize = kRingSize;
    // A hop or rate below one sample would make the spans meaningless.
    const float hopSamples = std::max(hop, 1.0f);
    const float rateHz = static_cast<float>(std::max(rate, 1));
    const float dt = hopSamples / rateHz;
    const int fj = static_cast<int>(std::min(kJitterSpan / dt, 1.0e6f));
    const int fs = static_cast<int>(std::min(kStabilitySpan / dt, 1.0e6f));

    const float p = AbsolutePitch(result);

    m_nWrite = (m_nWrite + 1) % kSize;
    m_nCount = std::min(m_nCount + 1, kSize);
    m_pitch[m_nWrite] = p;
    m_level[m_nWrite] = result.level;
    m_frequency[m_nWrite] = result.frequency;
    m_hop[m_nWrite] = hopSamples;
    m_inputLevel[m_nWrite] = inputLevel;

    // Stable unless one of the fs entries before the newest lies more than 60 cents away.
    bool stable = true;
    const int stabilityWalk = std::min(fs, kSize - 1);
    for (int i = 1; i <= stabilityWalk && stable; ++i) {
        const float d = m_pitch[(m_nWrite - i + kSize) % kSize] - p;
        stable = d >= -kUnstableCents && d <= kUnstableCents;
    }

    bool hold = m_bPrevHold;
    if (m_bPrevHold) {
        if (stable && result.level > kReleaseLevel) {
            hold = false;
            m_nCountdown = fj;
            // The averages restart from the newest frames; at least the newest one, even when
            // the hop is so long that the stability span holds no frame.
            m_nCount = std::clamp(fs, 1, kSize);
        }
    } else if (!stable || result.level < kHoldLevel) {
        hold = true;
    }

    // Averaging window, walking back from the newest entry.
    const float span = rateHz * m_fWindowSeconds;
    float hopSum = 0.0f;
    float sumPitch = 0.0f, sumLevel = 0.0f, sumFreq = 0.0f, sumInput = 0.0f;
    int taken = 0;
    for (int idx = m_nWrite; taken < m_nCount && hopSum < span; idx = (idx - 1 + kSize) % kSize) {
        hopSum += m_hop[idx];
        sumPitch += m_pitch[idx];
        sumLevel += m_level[idx];
        sumFreq += m_frequency[idx];
        sumInput += m_inputLevel[idx];
        ++taken;
    }
    const float inv = taken > 0 ? 1.0f / static_cast<float>(taken) : 0.0f;
    m_fAvgPitch = sumPitch * inv;
    m_fAvgLevel = sumLevel * inv;
    m_fAvgFrequency = sumFreq * inv;
    m_fAvgInputLevel = sumInput * inv;
    m_smoothed[m_nWrite] = m_fAvgPitch;

    // Jitter: path length of the newest smoothed values beyond their net movement.
    const int m = std::min(std::max(fj, 5), m_nCount);
    if (m > 0) {
        float path = 0.0f;
        int idx = m_nWrite;
        for (int i = 1; i < m; ++i) {
            const int older = (idx - 1 + kSize) % kSize;
            path += std::fabs(m_smoothed[idx] - m_smoothed[older]);
            idx = older;
        }
        path -= std::fabs(m_smoothed[m_nWrite] - m_smoothed[idx]);
        m_fJitter = path / static_cast<float>(m);
    }

    if (!m_bPrevHold && fj < m_nCount) {
        if (m_nCountdown > 0) {
            --m_nCountdown;
        } else {
            if (m_fJitter < kSmoothJitter) {
                --m_nSmoothing;
            } else if (m_fJitter > kRoughJitter) {
                ++m_nSmoothing;
            }
            m_nSmoothing = std::clamp(m_nSmoothing, 0, 3);
            m_nCountdown = 2 * fj;
            m_fWindowSeconds = kWindows[m_nSmoothing];
        }
    }

    // Flicker suppression between two adjacent whole values.
    float a = m_fAvgPitch + 0.5f;
    const int r = static_cast<int>(a);
    if (r != m_round[0]) {
        m_run[2] = m_run[1];
        m_run[1] = m_run[0];
        m_round[2] = m_round[1];
        m_round[1] = m_round[0];
        m_round[0] = r;
        m_run[0] = m_round[0] == m_round[2] ? m_run[2] : 0;
    }
    // Run lengths are only compared with each other; held below the int limit, a reading that
    // stays put for days (2^31 frames at the smallest hop is 54 hours) cannot overflow.
    if (m_run[0] < (1 << 30)) {
        ++m_run[0];
    }
    if (m_round[2] == m_round[0] && std::abs(m_round[0] - m_round[1]) == 1) {
        a = static_cast<float>(m_run[0] > m_run[1] ? m_round[0] : m_round[1]);
    } else {
        m_run[1] = 0;
        m_run[2] = 0;
    }

    const int whole = static_cast<int>(a);
    m_current.octave = whole / 1200;
    m_current.note = static_cast<int>(a - 1200.0f * static_cast<float>(m_current.octave)) / 100;
    m_current.cents = a - 1200.0f * static_cast<float>(m_current.octave) -
                      100.0f * static_cast<float>(m_current.note) - 50.0f;
    m_current.level = m_fAvgLevel;
    m_current.frequency = m_fAvgFrequency;

    m_bPrevHold = hold;
    m_bHold = hold;
    if (hold) {
        return m_held;
    }
    m_held = m_current;
    return m_current;
}
