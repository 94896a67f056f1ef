#include "analysis/PitchTracker.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kJitterSpan = 0.1f;     // s
constexpr float kStabilitySpan = 0.03f; // s
// A note starts (or replaces the one followed) once its frames agree for this long: the
// second frame at the default hop.
constexpr float kAgreementSpan = 0.01f; // s
// The longest run of frames without the note that a followed note carries across, and the
// longest gap between the agreeing frames of a starting one.
constexpr float kGapSpan = 0.05f; // s
// A note carries across gaps only once it has been followed this long; a short run that stops
// is most likely noise that happened to agree with itself.
constexpr float kEstablishedSpan = 0.05f; // s
// The input level a note must stand out from: the lowest of the frames of this span.
constexpr float kRecentSpan = 0.1f; // s
constexpr float kUnstableCents = 60.0f;
// A frame is a note when its pitch level is at least kNoteLevel and stands at least
// kNoteProminence above the recent input level (both 10 ln units); a note starts only from a
// frame above the release values.
constexpr float kNoteLevel = -50.0f;
constexpr float kReleaseLevel = -47.0f;
constexpr float kNoteProminence = -1.0f;
constexpr float kReleaseProminence = 1.5f;
constexpr float kSmoothJitter = 0.005f;
constexpr float kRoughJitter = 0.01f;
constexpr std::array<float, 4> kWindows{0.05f, 0.1f, 0.25f, 0.5f};

// InputLevel's 0..1 back in 10 ln(peak / full scale), -60 and below as -60.
float InputLevelUnits(float inputLevel) {
    return 60.0f * (std::clamp(inputLevel, 0.0f, 1.0f) - 1.0f);
}
} // namespace

PitchResult PitchTracker::Track(const PitchResult& result, float hop, int rate, float inputLevel) {
    constexpr int kSize = kRingSize;
    // A hop or rate below one sample would make the spans meaningless.
    const float hopSamples = std::max(hop, 1.0f);
    const float rateHz = static_cast<float>(std::max(rate, 1));
    const float dt = hopSamples / rateHz;
    const int fj = static_cast<int>(std::min(kJitterSpan / dt, 1.0e6f));
    const int fs = static_cast<int>(std::min(kStabilitySpan / dt, 1.0e6f));
    auto older = [&](int i) { return (m_nWrite - i + kSize) % kSize; };

    const float p = AbsolutePitch(result);

    m_nWrite = (m_nWrite + 1) % kSize;
    m_nCount = std::min(m_nCount + 1, kSize);
    m_nWritten = std::min(m_nWritten + 1, kSize);
    m_pitch[m_nWrite] = p;
    m_level[m_nWrite] = result.level;
    m_frequency[m_nWrite] = result.frequency;
    m_hop[m_nWrite] = hopSamples;
    m_inputLevel[m_nWrite] = inputLevel;
    m_member[m_nWrite] = false;

    // Clearly a note: loud enough, and standing out from the quietest input of the recent
    // frames (noise alone seldom does; a note's own decay does until it meets the noise).
    float quietest = inputLevel;
    float loudest = inputLevel;
    float back = 0.0f;
    for (int i = 1; i < m_nWritten; ++i) {
        back += m_hop[older(i - 1)];
        if (back > kRecentSpan * rateHz) {
            break;
        }
        quietest = std::min(quietest, m_inputLevel[older(i)]);
        loudest = std::max(loudest, m_inputLevel[older(i)]);
    }
    // A result at full energy (level 0) cannot show by how much it stands out from a loud
    // input: it counts as prominent unless the recent input reached full scale, where noise
    // and clipping distortion reach full energy too.
    const float prominence = result.level >= 0.0f && loudest < 1.0f
                                 ? kReleaseProminence
                                 : result.level - InputLevelUnits(quietest);
    const bool note =
        result.level > kNoPitchLevel && result.level >= kNoteLevel && prominence >= kNoteProminence;
    const bool strong = note && result.level >= kReleaseLevel && prominence >= kReleaseProminence;
    m_note[m_nWrite] = note;

    auto agrees = [&](int idx) {
        const float d = m_pitch[idx] - p;
        return d >= -kUnstableCents && d <= kUnstableCents;
    };

    // Following: the newest frame continues the note when it agrees with each of the note's
    // frames within the stability span, and at least with its latest one.
    bool continues = false;
    if (!m_bPrevHold && note) {
        bool seen = false;
        bool agree = true;
        float behind = 0.0f;
        for (int i = 1; i < m_nCount && agree; ++i) {
            behind += m_hop[older(i - 1)];
            if (behind > kStabilitySpan * rateHz && seen) {
                break;
            }
            if (m_member[older(i)]) {
                seen = true;
                agree = agrees(older(i));
            }
        }
        continues = seen && agree;
    }

    bool hold = m_bPrevHold;
    if (continues) {
        m_member[m_nWrite] = true;
        m_fSinceNote = 0.0f;
        m_fFollowed += hopSamples;
    } else {
        m_fSinceNote += hopSamples;
        // A note starts when the note frames before the newest agree with it for the agreement
        // span, with gaps of at most the gap span. While following, the frames of the followed
        // note end the walk: a new note is made of frames that did not continue it.
        float run = 0.0f;
        int oldest = 0;
        if (strong) {
            // Neighbouring frames are never apart by a gap, however long the hop.
            const float longestGap = std::max(kGapSpan * rateHz, hopSamples);
            const float enough = std::max(kAgreementSpan, kEstablishedSpan) * rateHz;
            float behind = 0.0f;
            float gap = 0.0f;
            for (int i = 1; i < m_nWritten && run < enough; ++i) {
                const int idx = older(i);
                behind += m_hop[older(i - 1)];
                gap += m_hop[older(i - 1)];
                if (gap > longestGap) {
                    break;
                }
                if (!m_note[idx]) {
                    continue;
                }
                if ((m_member[idx] && !m_bPrevHold) || !agrees(idx)) {
                    break;
                }
                run = behind;
                oldest = i;
                gap = 0.0f;
            }
        }
        if (run >= kAgreementSpan * rateHz) {
            hold = false;
            for (int i = 0; i <= oldest; ++i) {
                m_member[older(i)] = m_note[older(i)] && agrees(older(i));
            }
            // The averages restart from the newest frame and those of the stability span
            // before it (only the newest when the hop is longer than that span).
            m_nCount = std::min(fs + 1, oldest + 1);
            m_nCountdown = fj;
            m_fSinceNote = 0.0f;
            m_fFollowed = run;
        } else if (!m_bPrevHold &&
                   (m_fSinceNote > kGapSpan * rateHz || m_fFollowed < kEstablishedSpan * rateHz)) {
            hold = true;
        }
    }

    // Averaging window, walking back from the newest entry: the pitch averages over the
    // followed note's frames in it, the input level over every frame.
    const float span = rateHz * m_fWindowSeconds;
    float hopSum = 0.0f;
    float sumPitch = 0.0f, sumLevel = 0.0f, sumFreq = 0.0f, sumInput = 0.0f;
    int taken = 0;
    int notes = 0;
    for (int idx = m_nWrite; taken < m_nCount && hopSum < span; idx = (idx - 1 + kSize) % kSize) {
        hopSum += m_hop[idx];
        if (m_member[idx]) {
            sumPitch += m_pitch[idx];
            sumLevel += m_level[idx];
            sumFreq += m_frequency[idx];
            ++notes;
        }
        sumInput += m_inputLevel[idx];
        ++taken;
    }
    if (notes > 0) {
        const float inv = 1.0f / static_cast<float>(notes);
        m_fAvgPitch = sumPitch * inv;
        m_fAvgLevel = sumLevel * inv;
        m_fAvgFrequency = sumFreq * inv;
    }
    m_fAvgInputLevel = sumInput / static_cast<float>(taken);
    m_smoothed[m_nWrite] = m_fAvgPitch;

    // Jitter: path length of the newest smoothed values beyond their net movement.
    const int m = std::min(std::max(fj, 5), m_nCount);
    if (m > 0) {
        float path = 0.0f;
        int idx = m_nWrite;
        for (int i = 1; i < m; ++i) {
            const int prev = (idx - 1 + kSize) % kSize;
            path += std::fabs(m_smoothed[idx] - m_smoothed[prev]);
            idx = prev;
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
