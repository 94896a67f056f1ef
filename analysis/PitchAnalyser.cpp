#include "analysis/PitchAnalyser.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <mutex>
#include <new>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// FFTW's planner is not thread-safe; set-up and tear-down are rare, so one lock serves.
std::mutex& PlannerMutex() {
    static std::mutex m;
    return m;
}

constexpr double kTwoPi = 6.283185307179586;
constexpr float kFullEnergy = 3.0e6f;
constexpr float kLowSumShare = 0.25f;
constexpr int kLowHarmonics = 5;
// A frame is one pure tone when its strongest peak carries this share of the PeakList's total
// amplitude and no peak below it (where its fundamental would lie, were it a harmonic) reaches
// kLoneBelow of its amplitude.
constexpr float kLoneShare = 0.9f;
constexpr float kLoneBelow = 0.05f;
// Below this many bins a pure tone's mirror image at the negative frequency still reaches its
// peak through the window's side lobes (a hundredth of a hertz at E1, half a cent).
constexpr int kMirrorBins = 16;
constexpr int kBlock = 8; // peaks per block of the harmonic-number pass
constexpr int kLanes = 8; // candidate scores compared side by side
constexpr std::array<int, PitchAnalyser::kMaxPrimes> kPrimes{2, 3, 5, 7, 11, 13, 17};
constexpr std::array<float, PitchAnalyser::kMaxPrimes> kPrimeThresholds{0.83f, 0.6f,  0.75f, 0.75f,
                                                                        0.75f, 0.75f, 0.75f};

#if defined(__SSE2__)
// For each 4-bit mask, the offsets of its set bits packed to the front, and how many there are.
alignas(16) constexpr int kPackedLanes[16][4] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0},
    {1, 2, 0, 0}, {0, 1, 2, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0},
    {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
constexpr int kLaneCount[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
#endif

// Blackman curve 0.42 - 0.5 cos + 0.08 cos over a span of `span` samples, at sample i.
double Blackman(int i, int span) {
    const double x = kTwoPi * static_cast<double>(i) / static_cast<double>(span);
    return 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
}

float* AllocTransformBuffer(int n) {
    auto* p = static_cast<float*>(fftwf_malloc(sizeof(float) * static_cast<size_t>(n + 2)));
    if (p) {
        std::fill_n(p, n + 2, 0.0f);
    }
    return p;
}

// For each peak of frequencies freq[0..count) (count padded to whole blocks): the smallest
// k with k * upper >= freq, by an estimate and one step, and whether the peak lies above
// k * lower. Returns non-zero when some estimate was not settled by that one step.
int HarmonicNumbers(const float* __restrict freq, int count, float upper, float inverseUpper,
                    float lower, int* __restrict harmonic, int* __restrict match) {
    int unsettled = 0;
    for (int b = 0; b < count; b += kBlock) {
        // Fixed-size blocks vectorise without remainder loops.
        for (int j = b; j < b + kBlock; ++j) {
            const float pf = freq[j];
            const float estimate = pf * inverseUpper;
            int k = static_cast<int>(estimate < 1.0e9f ? estimate : 1.0e9f);
            k += static_cast<int>(static_cast<float>(k) * upper < pf);
            const float above = static_cast<float>(k) * upper;
            const float below = static_cast<float>(k - 1) * upper;
            unsettled |= static_cast<int>(above < pf) | static_cast<int>(below >= pf);
            harmonic[j] = k;
            match[j] = static_cast<int>(static_cast<float>(k) * lower < pf);
        }
    }
    return unsettled;
}

// Index of the first largest of count scores (count a whole number of lane groups, no NaN),
// as std::max_element gives it.
#if defined(__SSE2__)
// The largest value is spread to all four lanes and the first lane holding it found by a mask:
// no value leaves the vector registers, and the search branches once per four scores.
int FirstLargest(const float* __restrict score, int count) {
    __m128 best = _mm_loadu_ps(score);
    for (int b = 4; b < count; b += 4) {
        best = _mm_max_ps(best, _mm_loadu_ps(score + b));
    }
    best = _mm_max_ps(best, _mm_shuffle_ps(best, best, _MM_SHUFFLE(2, 3, 0, 1)));
    best = _mm_max_ps(best, _mm_shuffle_ps(best, best, _MM_SHUFFLE(1, 0, 3, 2)));
    for (int b = 0; b < count; b += 4) {
        const int equal = _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(score + b), best));
        if (equal != 0) {
            return b + __builtin_ctz(static_cast<unsigned>(equal));
        }
    }
    return 0;
}
#else
int FirstLargest(const float* __restrict score, int count) {
    return static_cast<int>(std::max_element(score, score + count) - score);
}
#endif

} // namespace

PitchAnalyser::PitchAnalyser() = default;

PitchAnalyser::~PitchAnalyser() {
    Teardown();
}

bool PitchAnalyser::Setup(int n, int rate, int maxPeaks, int primes, int grid, float lowest) {
    Teardown();

    // Power of two at least 2: halve while above 1, every halved value above 1 must be even.
    int order = 0;
    if (n < 2) {
        return false;
    }
    for (int v = n; v > 1; v /= 2) {
        if (v % 2 != 0) {
            return false;
        }
        ++order;
    }
    if (rate < 1 || maxPeaks < 1 || primes < 0 || primes > kMaxPrimes || grid < 1 ||
        !(lowest > 0.0f) || !(lowest < static_cast<float>(rate))) {
        return false;
    }

    m_nSampleRate = rate;
    m_nFrameLength = n;
    m_nOrder = order;
    m_fLowest = lowest;
    m_fHalfBinWidth = static_cast<float>(rate) / static_cast<float>(2 * n);
    m_nHalfFrame = n / 2;
    m_nMaxPeaks = maxPeaks;
    m_nPrimes = primes;
    m_nGrid = grid;

    try {
        m_frame = AllocTransformBuffer(n);
        m_deriv = AllocTransformBuffer(n);
        m_time = AllocTransformBuffer(n);
        if (!m_frame || !m_deriv || !m_time) {
            throw std::bad_alloc();
        }
        // A frame has at most one strict local maximum per two bins of the half spectrum, so
        // lists of N / 4 + 1 entries (and never fewer than maxPeaks * 24) cannot overflow.
        const size_t workSize =
            std::max<size_t>(static_cast<size_t>(maxPeaks) * 24, static_cast<size_t>(n / 4 + 1));
        m_workFreq.assign(workSize, 0.0f);
        m_workAmp.assign(workSize, 0.0f);
        m_workIndex.assign(workSize + 4, 0); // room for the packed stores of FindPeaks
        m_peakFreq.assign(maxPeaks, 0.0f);
        m_peakAmp.assign(maxPeaks, 0.0f);
        m_topAmp.assign(maxPeaks, 0.0f);
        m_power.assign(static_cast<size_t>(n / 2 + 1), 0.0f);
        // Room for the live peaks rounded up to whole blocks of the harmonic-number pass.
        const size_t liveSize = static_cast<size_t>(maxPeaks + kBlock);
        m_liveFreq.assign(liveSize, 1.0f);
        m_liveAmp.assign(liveSize, 0.0f);
        m_liveK.assign(liveSize, 0);
        m_liveMatch.assign(liveSize, 0);
        m_nLivePeaks = 0;
        m_bLiveAscending = false;

        m_candBase.resize(grid);
        m_candFreq.assign(grid, 0.0f);
        // Padded to whole lane groups with scores below any real one (those are >= 0).
        m_candScore.assign(static_cast<size_t>((grid + kLanes - 1) / kLanes * kLanes), -1.0f);
        m_nRowStride = maxPeaks + 1;
        m_rows.assign(static_cast<size_t>(grid) * m_nRowStride, HarmonicSlot{});
        m_rowLength.assign(grid, 0);
        // Harmonic numbers stay below (rate / 2) / lowest + 2: peaks lie below half the rate
        // and candidates at or above the lowest frequency. Past a sane size, PrimeTest divides.
        m_primeFactors.assign(
            static_cast<size_t>(std::min(static_cast<float>(rate) / 2.0f / lowest, 65536.0f)) + 4,
            0);

        m_window.resize(n);
        m_timeWindow.resize(n);
        m_derivWindow.resize(n);

        // Every concert A from the lowest frequency up to the rate fits in this many notes.
        const int capacity =
            static_cast<int>(std::ceil(12.0 * std::log2(static_cast<double>(rate) / lowest))) + 4;
        for (auto& t : m_tables) {
            t.entries.assign(std::max(capacity, 2), NoteTableEntry{});
            t.count = 0;
        }
    } catch (const std::bad_alloc&) {
        Teardown();
        return false;
    }
    m_nTableFront = 0;
    m_nTableShared.store(1, std::memory_order_relaxed);
    m_nTableBack = 2;

    {
        std::lock_guard<std::mutex> lock(PlannerMutex());
        auto plan = [n](float* buf) {
            return static_cast<void*>(fftwf_plan_dft_r2c_1d(
                n, buf, reinterpret_cast<fftwf_complex*>(buf), FFTW_ESTIMATE));
        };
        m_planFrame = plan(m_frame);
        m_planDeriv = plan(m_deriv);
        m_planTime = plan(m_time);
    }
    if (!m_planFrame || !m_planDeriv || !m_planTime) {
        Teardown();
        return false;
    }

    // Windows. The analysis window follows the same Blackman curve as the N + 1 point window
    // whose first difference is the derivative window, so the derivative matches the window.
    const double rampStep = 2.0 / static_cast<double>(n - 1);
    const double derivScale = static_cast<double>(rate) / kTwoPi;
    for (int i = 0; i < n; ++i) {
        const double w = Blackman(i, n);
        m_window[i] = static_cast<float>(w);
        m_timeWindow[i] = static_cast<float>(w * (-1.0 + rampStep * i));
        m_derivWindow[i] = static_cast<float>(derivScale * (Blackman(i + 1, n) - w));
    }

    std::fill(m_peakFreq.begin(), m_peakFreq.end(), 0.0f);
    std::fill(m_peakAmp.begin(), m_peakAmp.end(), 0.0f);

    m_fQuarterTone = static_cast<float>(std::pow(2.0, -1.0 / 24.0));
    for (int j = 0; j < grid; ++j) {
        m_candBase[j] = static_cast<float>(lowest * std::pow(2.0, static_cast<double>(j) / grid));
    }
    for (int i = 0; i < kMaxPrimes; ++i) {
        m_primes[i] = kPrimes[i];
        m_primeThreshold[i] = kPrimeThresholds[i];
    }
    for (size_t k = 1; k < m_primeFactors.size(); ++k) {
        for (int i = 0; i < primes; ++i) {
            m_primeFactors[k] |= (k % static_cast<size_t>(m_primes[i]) == 0) ? (1u << i) : 0u;
        }
    }

    for (int c = 0; c < kClasses; ++c) {
        m_results[c] = EmptyPitchResult(c);
    }
    // A rate below concert A leaves no table to name notes with.
    if (!SetConcertA(440.0f) || !m_arbiter.Setup(kClasses, maxPeaks)) {
        Teardown();
        return false;
    }
    return true;
}

void PitchAnalyser::Teardown() {
    FreeBuffers();
    if (m_planFrame || m_planDeriv || m_planTime) {
        std::lock_guard<std::mutex> lock(PlannerMutex());
        for (void* p : {m_planFrame, m_planDeriv, m_planTime}) {
            if (p) {
                fftwf_destroy_plan(static_cast<fftwf_plan>(p));
            }
        }
    }
    m_planFrame = m_planDeriv = m_planTime = nullptr;
    m_arbiter.Teardown();
    m_nFrameLength = 0;
}

void PitchAnalyser::FreeBuffers() {
    fftwf_free(m_frame);
    fftwf_free(m_deriv);
    fftwf_free(m_time);
    m_frame = m_deriv = m_time = nullptr;
    m_window = {};
    m_timeWindow = {};
    m_derivWindow = {};
    m_workFreq = {};
    m_workAmp = {};
    m_workIndex = {};
    m_peakFreq = {};
    m_peakAmp = {};
    m_topAmp = {};
    m_power = {};
    m_liveFreq = {};
    m_liveAmp = {};
    m_liveK = {};
    m_liveMatch = {};
    m_nLivePeaks = 0;
    m_bLiveAscending = false;
    m_candBase = {};
    m_candFreq = {};
    m_candScore = {};
    m_rows = {};
    m_rowLength = {};
    m_primeFactors = {};
    for (auto& t : m_tables) {
        t = NoteTable{};
    }
}

float PitchAnalyser::InputLevel() const {
    if (!IsSetUp()) {
        return 0.0f;
    }
    const auto [lo, hi] = std::minmax_element(m_frame, m_frame + m_nFrameLength);
    const float r = (-*lo < *hi) ? *hi / 32767.0f : std::fabs(*lo) / 32768.0f;
    const float level = 10.0f * std::log(r); // -inf for a silent frame
    if (level > 0.0f) {
        return 1.0f;
    }
    return 1.0f + std::max(level, -60.0f) / 60.0f;
}

int PitchAnalyser::FindPeaks(bool timeCheck, int hop) {
    if (!IsSetUp()) {
        return 0;
    }
    const int n = m_nFrameLength;
    float* __restrict frame = m_frame;
    float* __restrict deriv = m_deriv;
    float* __restrict time = m_time;
    const float* __restrict dw = m_derivWindow.data();
    const float* __restrict tw = m_timeWindow.data();
    const float* __restrict w = m_window.data();
    if (timeCheck) {
        for (int i = 0; i < n; ++i) {
            time[i] = frame[i] * tw[i];
        }
    }
    for (int i = 0; i < n; ++i) {
        deriv[i] = frame[i] * dw[i];
        frame[i] *= w[i];
    }
    fftwf_execute(static_cast<fftwf_plan>(m_planFrame));
    fftwf_execute(static_cast<fftwf_plan>(m_planDeriv));
    if (timeCheck) {
        fftwf_execute(static_cast<fftwf_plan>(m_planTime));
    }

    const float binWidth = static_cast<float>(m_nSampleRate) / static_cast<float>(n);
    const int m0 =
        static_cast<int>(static_cast<float>(n) * m_fLowest / static_cast<float>(m_nSampleRate));
    const float timeLimit = static_cast<float>(hop / 2);
    const int capacity = static_cast<int>(m_workFreq.size());
    const float* x = m_frame;
    const float* d = m_deriv;
    const float* t = m_time;

    // Powers first, then the local maxima without a branch per bin (noise makes such branches
    // unpredictable), then the corrections for the maxima only.
    const int first = std::max(m0, 0);
    const int half = m_nHalfFrame;
    float* __restrict power = m_power.data();
    for (int m = first + 1; m <= half; ++m) {
        power[m] = x[2 * m] * x[2 * m] + x[2 * m + 1] * x[2 * m + 1];
    }
    if (first <= half) {
        power[first] = 0.0f; // bin m0 counts as power 0 and is never a peak
    }
    int* __restrict maxima = m_workIndex.data();
    int count = 0;
    int m = first + 1;
#if defined(__SSE2__)
    // Four bins at a time: which of them are maxima, as a 4-bit mask, and their bin numbers
    // stored packed to the front as the block's first bin plus the mask's offsets (the lists
    // have room for the three entries past the end this writes).
    for (; m + 4 <= half; m += 4) {
        const __m128 centre = _mm_loadu_ps(power + m);
        const __m128 below = _mm_loadu_ps(power + m - 1);
        const __m128 above = _mm_loadu_ps(power + m + 1);
        const int mask =
            _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(centre, above), _mm_cmpgt_ps(centre, below)));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(maxima + count),
            _mm_add_epi32(_mm_set1_epi32(m),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPackedLanes[mask]))));
        count += kLaneCount[mask];
    }
#endif
    for (; m < half; ++m) {
        maxima[count] = m;
        count +=
            static_cast<int>(power[m] > power[m + 1]) & static_cast<int>(power[m] > power[m - 1]);
    }

    // |trunc(v)| < L for a limit L is |v| < ceil(L): the truncated value is a whole number.
    const float timeBound = std::ceil(timeLimit);
    const float deltaBound = std::ceil(m_fHalfBinWidth);
    // Every maximum is written and only the kept ones advance: noise makes keeping or dropping
    // as good as random, so no branch decides it.
    int found = 0;
    count = std::min(count, capacity);
    for (int i = 0; i < count; ++i) {
        const int m = maxima[i];
        const float cur = power[m];
        const float re = x[2 * m];
        const float im = x[2 * m + 1];
        int keep = 1;
        if (timeCheck) {
            const float tc = (t[2 * m] * re + t[2 * m + 1] * im) / cur;
            keep = static_cast<int>(std::fabs(tc) < timeBound);
        }
        const float delta = (im * d[2 * m] - re * d[2 * m + 1]) / cur;
        keep &= static_cast<int>(std::fabs(delta) < deltaBound);
        m_workAmp[found] = std::sqrt(cur);
        m_workFreq[found] = static_cast<float>(m) * binWidth + delta;
        found += keep;
    }

    const int maxPeaks = m_nMaxPeaks;
    int kept = found;
    if (found > maxPeaks) {
        // Keep the strongest maxPeaks (of equal ones the lower-numbered), then put them back in
        // frequency order. The strongest so far are kept sorted, strongest first; after the
        // first few a peak seldom beats the weakest of them, so the test predicts well and few
        // peaks are inserted.
        const float* amp = m_workAmp.data();
        const float* freq = m_workFreq.data();
        int* top = m_workIndex.data();
        float* topAmp = m_topAmp.data();
        int filled = 0;
        auto insert = [&](int i, int from) {
            const float a = amp[i];
            int pos = from;
            while (pos > 0 && topAmp[pos - 1] < a) {
                top[pos] = top[pos - 1];
                topAmp[pos] = topAmp[pos - 1];
                --pos;
            }
            top[pos] = i;
            topAmp[pos] = a;
        };
        for (; filled < maxPeaks; ++filled) {
            insert(filled, filled);
        }
        for (int i = maxPeaks; i < found; ++i) {
            if (topAmp[maxPeaks - 1] < amp[i]) {
                insert(i, maxPeaks - 1);
            }
        }
        // Peak numbers follow the bins, so their frequencies rise with them; sorting by number
        // gives frequency order unless a correction reversed two, which the sort then handles.
        std::sort(top, top + maxPeaks);
        bool ascending = true;
        for (int i = 1; i < maxPeaks; ++i) {
            ascending = ascending && freq[top[i - 1]] < freq[top[i]];
        }
        if (!ascending) {
            std::sort(top, top + maxPeaks, [freq](int a, int b) {
                return freq[a] < freq[b] || (freq[a] == freq[b] && a < b);
            });
        }
        for (int i = 0; i < maxPeaks; ++i) {
            m_peakFreq[i] = freq[top[i]];
            m_peakAmp[i] = amp[top[i]];
        }
        kept = maxPeaks;
    } else {
        std::copy_n(m_workFreq.begin(), found, m_peakFreq.begin());
        std::copy_n(m_workAmp.begin(), found, m_peakAmp.begin());
    }
    // Stale peaks of an earlier frame would count as harmonics: clear the rest.
    std::fill(m_peakFreq.begin() + kept, m_peakFreq.end(), 0.0f);
    std::fill(m_peakAmp.begin() + kept, m_peakAmp.end(), 0.0f);
    return found;
}

bool PitchAnalyser::AnalyseFrame(bool timeCheck, int hop) {
    if (!IsSetUp()) {
        return false;
    }
    FindPeaks(timeCheck, hop);
    return Analyse(true);
}

bool PitchAnalyser::AnalysePeaks() {
    return Analyse(false);
}

bool PitchAnalyser::Analyse(bool fromSpectra) {
    if (!IsSetUp()) {
        return false;
    }
    // One table for the whole frame, even if concert A changes meanwhile.
    const NoteTable& table = AcquireNoteTable();
    for (int c = 0; c < kClasses; ++c) {
        m_results[c] = PitchResult{0, 0, 0.0f, kNoPitchLevel, 0.0f};
    }
    m_arbiter.ResetAll();
    m_arbiter.LoadPeaks(m_peakFreq.data(), m_peakAmp.data(), m_nMaxPeaks);
    // Empty entries never match a harmonic: the comb search walks only the others.
    m_nLivePeaks = 0;
    bool ascending = true;
    float previous = 0.0f;
    for (int p = 0; p < m_nMaxPeaks; ++p) {
        if (m_peakAmp[p] > 0.0f) {
            const float f = m_peakFreq[p];
            // FindPeaks always gives this order; a PeakList loaded by hand may not.
            ascending = ascending && f >= previous && f > 0.0f && std::isfinite(f);
            previous = f;
            m_liveFreq[m_nLivePeaks] = f;
            m_liveAmp[m_nLivePeaks] = m_peakAmp[p];
            ++m_nLivePeaks;
        }
    }
    m_bLiveAscending = ascending;
    // Fill the last block with copies of a real frequency: its lanes are computed, never used.
    const float pad = m_nLivePeaks > 0 ? m_liveFreq[m_nLivePeaks - 1] : 1.0f;
    for (int p = m_nLivePeaks; p % kBlock != 0; ++p) {
        m_liveFreq[p] = pad;
    }
    if (const int lone = LonePeak(); lone >= 0) {
        // One pure tone (a tuning fork, a tone generator, a whistle): the comb wants neighbouring
        // harmonics, which a sine does not have, so the peak is named on its own.
        for (int c = 0; c < kClasses; ++c) {
            m_results[c] = EmptyPitchResult(c);
        }
        const float f = fromSpectra ? WithoutMirror(m_liveFreq[lone]) : m_liveFreq[lone];
        const PitchResult r = ToPitchResult(table, f, m_liveAmp[lone]);
        m_results[r.note] = r;
        return true;
    }
    FindFundamentals(table);
    m_arbiter.ComputeShares();
    while (m_arbiter.RemoveWeakest()) {
    }
    m_arbiter.CopyClasses(m_results.data());
    for (int c = 0; c < kClasses; ++c) {
        const float energy = m_results[c].level;
        m_results[c] = energy > 1.0f ? ToPitchResult(table, m_results[c].frequency, energy)
                                     : EmptyPitchResult(c);
    }
    return true;
}

float PitchAnalyser::WithoutMirror(float f) const {
    const int n = m_nFrameLength;
    const double binWidth = static_cast<double>(m_nSampleRate) / n;
    // The peak's bin: of the two around f, the stronger.
    const int below = static_cast<int>(f / binWidth);
    if (below < 1 || below + 1 >= std::min(kMirrorBins, m_nHalfFrame)) {
        return f;
    }
    const int m = m_power[below] >= m_power[below + 1] ? below : below + 1;
    const std::complex<double> x(m_frame[2 * m], m_frame[2 * m + 1]);
    const std::complex<double> d(m_deriv[2 * m], m_deriv[2 * m + 1]);
    // The frame holds c e^(i w n) + conj(c) e^(-i w n). With w from the estimate so far, the
    // bin's sums for each half give c, and the mirror's share of the spectra is taken away
    // before the frequency correction is worked out again; twice is enough.
    const double binAngle = kTwoPi * m / n;
    double estimate = f;
    for (int pass = 0; pass < 2; ++pass) {
        const double w = kTwoPi * estimate / m_nSampleRate;
        std::complex<double> own, mirror, mirrorDeriv;
        const std::complex<double> stepOwn = std::polar(1.0, w - binAngle);
        const std::complex<double> stepMirror = std::polar(1.0, -w - binAngle);
        std::complex<double> rotOwn = 1.0, rotMirror = 1.0;
        for (int i = 0; i < n; ++i) {
            own += static_cast<double>(m_window[i]) * rotOwn;
            mirror += static_cast<double>(m_window[i]) * rotMirror;
            mirrorDeriv += static_cast<double>(m_derivWindow[i]) * rotMirror;
            rotOwn *= stepOwn;
            rotMirror *= stepMirror;
        }
        // x = c own + conj(c) mirror, c = a + i b: two real equations for a and b.
        const std::complex<double> ca = own + mirror;
        const std::complex<double> cb = std::complex<double>(0.0, 1.0) * (own - mirror);
        const double det = ca.real() * cb.imag() - cb.real() * ca.imag();
        if (std::fabs(det) < 1e-12) {
            return f;
        }
        const double a = (x.real() * cb.imag() - cb.real() * x.imag()) / det;
        const double b = (ca.real() * x.imag() - x.real() * ca.imag()) / det;
        const std::complex<double> conjC(a, -b);
        const std::complex<double> xs = x - conjC * mirror;
        const std::complex<double> ds = d - conjC * mirrorDeriv;
        const double power = std::norm(xs);
        if (!(power > 0.0)) {
            return f;
        }
        const double delta = (xs.imag() * ds.real() - xs.real() * ds.imag()) / power;
        estimate = m * binWidth + delta;
    }
    return std::fabs(estimate - f) < binWidth ? static_cast<float>(estimate) : f;
}

int PitchAnalyser::LonePeak() const {
    if (!m_bLiveAscending || m_nLivePeaks == 0) {
        return -1;
    }
    const int live = m_nLivePeaks;
    int strongest = 0;
    float total = 0.0f;
    for (int p = 0; p < live; ++p) {
        total += m_liveAmp[p];
        if (m_liveAmp[p] > m_liveAmp[strongest]) {
            strongest = p;
        }
    }
    const float amp = m_liveAmp[strongest];
    if (!(amp >= kLoneShare * total)) {
        return -1;
    }
    // Anything below a quarter-tone under the peak could be the fundamental it is a harmonic of.
    const float below = m_liveFreq[strongest] * m_fQuarterTone;
    for (int p = 0; p < strongest && m_liveFreq[p] < below; ++p) {
        if (m_liveAmp[p] >= kLoneBelow * amp) {
            return -1;
        }
    }
    return strongest;
}

bool PitchAnalyser::SetConcertA(float a) {
    if (!IsSetUp() || !(a >= m_fLowest) || static_cast<float>(m_nSampleRate) < a) {
        return false;
    }
    const int h = static_cast<int>(std::ceil(12.0 * std::log2(static_cast<double>(a) / m_fLowest)));
    const int u =
        static_cast<int>(std::ceil(12.0 * std::log2(static_cast<double>(m_nSampleRate) / a)));
    const int m = h + u + 1;
    NoteTable& table = m_tables[m_nTableBack];
    if (m < 2 || m > static_cast<int>(table.entries.size())) {
        return false;
    }
    for (int i = 0; i < m; ++i) {
        const int s = i - h;
        const int e = s + 9;
        int note = e % 12;
        int octave = 0;
        if (note < 0) {
            note += 12;
            octave = -1;
        }
        octave += e / 12 + 4;
        table.entries[i].note = note;
        table.entries[i].octave = std::max(octave, 0);
        table.entries[i].frequency =
            static_cast<float>(static_cast<double>(a) * std::pow(2.0, s / 12.0));
    }
    table.count = m;
    // Publish the finished table; take back whichever slot no frame holds.
    m_nTableBack = m_nTableShared.exchange(m_nTableBack | kFresh, std::memory_order_acq_rel) & 3;
    m_fConcertA.store(a, std::memory_order_relaxed);
    return true;
}

const PitchAnalyser::NoteTable& PitchAnalyser::AcquireNoteTable() {
    if (m_nTableShared.load(std::memory_order_acquire) & kFresh) {
        m_nTableFront = m_nTableShared.exchange(m_nTableFront, std::memory_order_acq_rel) & 3;
    }
    return m_tables[m_nTableFront];
}

PitchResult PitchAnalyser::ToPitchResult(float f, float energy) {
    if (!IsSetUp()) {
        return EmptyPitchResult(0);
    }
    return ToPitchResult(AcquireNoteTable(), f, energy);
}

PitchResult PitchAnalyser::ToPitchResult(const NoteTable& table, float f, float energy) {
    if (!(f > 0.0f) || !std::isfinite(f)) {
        return EmptyPitchResult(0); // no frequency to name
    }
    const NoteTableEntry* e = table.entries.data();
    const int count = table.count;
    int d = 1;
    if (f > e[0].frequency) {
        const auto* it = std::lower_bound(
            e + 1, e + count, f, [](const NoteTableEntry& x, float v) { return x.frequency < v; });
        d = std::min(static_cast<int>(it - e), count - 1);
    }
    const int i = (f - e[d - 1].frequency < e[d].frequency - f) ? d - 1 : d;
    PitchResult r;
    r.note = e[i].note;
    r.octave = e[i].octave;
    r.cents = static_cast<float>(1200.0 * std::log(static_cast<double>(f) / e[i].frequency) /
                                 std::log(2.0));
    float level = energy > 0.0f ? 10.0f * std::log(energy / kFullEnergy) : kNoPitchLevel;
    if (energy >= kFullEnergy) {
        level = 0.0f;
    }
    r.level = std::max(level, kNoPitchLevel);
    r.frequency = f;
    return r;
}

float PitchAnalyser::HarmonicScore(float f, int row) {
    HarmonicSlot* __restrict slots = Row(row);
    int& length = m_rowLength[row];
    if (!m_bLiveAscending) {
        return HarmonicScoreInOrder(f, slots, length);
    }
    const float lower = f * m_fQuarterTone;
    const float upper = f / m_fQuarterTone;
    // Only for estimates, which are settled against upper: no need to wait for upper.
    const float inverseUpper = m_fQuarterTone / f;
    const float* __restrict peakFreq = m_liveFreq.data();
    const float* __restrict peakAmp = m_liveAmp.data();
    int* __restrict harmonic = m_liveK.data();
    int* __restrict match = m_liveMatch.data();
    const int live = m_nLivePeaks;

    // With the peaks in ascending frequency, the harmonic number the walk in PeakList order
    // reaches for a peak is simply the smallest k with k * upper >= its frequency (k * upper
    // grows with k), so every peak's k can be found on its own, in vector lanes: estimated by
    // a product, then settled with the same float products the walk compares.
    const int unsettled =
        HarmonicNumbers(peakFreq, live, upper, inverseUpper, lower, harmonic, match);
    if (unsettled != 0) {
        for (int p = 0; p < live; ++p) {
            const float pf = peakFreq[p];
            int k = harmonic[p];
            while (k > 0 && static_cast<float>(k - 1) * upper >= pf) {
                --k;
            }
            while (static_cast<float>(k) * upper < pf) {
                ++k;
            }
            harmonic[p] = k;
            match[p] = static_cast<int>(static_cast<float>(k) * lower < pf);
        }
    }

    // Peaks in (k lower, k upper] fill one slot per k, the strongest kept (the first of equal
    // ones). k never falls from one peak to the next, and a peak above one in its span is in
    // the span too, so two matching peaks share a slot only when they are neighbours in the
    // list. Mostly none do, and the slots are then just the matching peaks in order.
    int shared = 0;
    for (int p = 1; p < live; ++p) {
        shared |= match[p] & match[p - 1] & static_cast<int>(harmonic[p] == harmonic[p - 1]);
    }
    int cursor = 0;
    float score = 0.0f;
    if (shared == 0) {
        // Every peak is written, and a matching one keeps its slot: no branch to mispredict.
        for (int p = 0; p < live; ++p) {
            slots[cursor] = HarmonicSlot{harmonic[p], peakFreq[p], peakAmp[p]};
            cursor += match[p];
        }
        for (int s = 0; s < cursor; ++s) {
            score += slots[s].amplitude;
        }
        length = cursor;
        return score;
    }
    // The score adds each slot's amplitude when the slot is closed, so in slot order; before
    // the first slot that is the scratch slot's 0.
    cursor = -1;
    int lastK = -1;
    for (int p = 0; p < live; ++p) {
        if (!match[p]) {
            continue;
        }
        const int k = harmonic[p];
        const float amp = peakAmp[p];
        if (k != lastK) {
            score += slots[cursor].amplitude;
            ++cursor;
            lastK = k;
            slots[cursor] = HarmonicSlot{k, peakFreq[p], amp};
        } else if (slots[cursor].amplitude < amp) {
            slots[cursor] = HarmonicSlot{k, peakFreq[p], amp};
        }
    }
    score += slots[cursor].amplitude;
    length = cursor + 1;
    return score;
}

// The walk in PeakList order, for PeakLists not in ascending frequency.
float PitchAnalyser::HarmonicScoreInOrder(float f, HarmonicSlot* slots, int& length) {
    // The other scoring leaves slots past a row's length as they were: clear the whole row.
    std::fill_n(slots, m_nMaxPeaks, HarmonicSlot{});
    const float lower = f * m_fQuarterTone;
    const float upper = f / m_fQuarterTone;
    const float inverseUpper = 1.0f / upper;
    const float* peakFreq = m_liveFreq.data();
    const float* peakAmp = m_liveAmp.data();
    const int live = m_nLivePeaks;
    int k = 0;
    int lastK = -1;
    int cursor = -1;
    for (int p = 0; p < live; ++p) {
        const float amp = peakAmp[p];
        const float pf = peakFreq[p];
        // The smallest k not below the current one with k * upper >= pf: estimated, then
        // settled with the same float products a step-by-step search compares.
        if (static_cast<float>(k) * upper < pf) {
            int next = std::max(static_cast<int>(std::min(pf * inverseUpper, 1.0e9f)), k);
            while (next > k && static_cast<float>(next - 1) * upper >= pf) {
                --next;
            }
            while (static_cast<float>(next) * upper < pf) {
                ++next;
            }
            k = next;
        }
        // The peak lies in (k lower, k upper]: a new slot for a new k, the stronger peak kept.
        if (static_cast<float>(k) * lower < pf) {
            if (k != lastK) {
                ++cursor;
                lastK = k;
            }
            if (slots[cursor].amplitude < amp) {
                slots[cursor] = HarmonicSlot{k, pf, amp};
            }
        }
    }
    length = cursor + 1;
    float score = 0.0f;
    for (int s = 0; s < length; ++s) {
        score += slots[s].amplitude;
    }
    return score;
}

int PitchAnalyser::PrimeTest(int row, float score) {
    const HarmonicSlot* __restrict slots = Row(row);
    const unsigned char* __restrict table = m_primeFactors.data();
    const int tableSize = static_cast<int>(m_primeFactors.size());
    const int length = m_rowLength[row];
    // Primes dividing k as bits, lowest prime in bit 0 (primes above k never divide it).
    auto factorsOf = [&](int k) {
        if (k < tableSize) {
            return static_cast<unsigned>(table[k]);
        }
        unsigned factors = 0;
        for (int i = 0; i < m_nPrimes; ++i) {
            factors |= (k % m_primes[i] == 0) ? (1u << i) : 0u;
        }
        return factors;
    };
#if defined(__SSE2__)
    // The seven sums side by side in two vectors. A slot adds its amplitude to the lanes of the
    // primes dividing its k and 0 to the others, which leaves them exactly as they were; only
    // a lane just added to can newly exceed its limit, so the lowest lane over its limit is the
    // prime the walk one prime at a time would return first.
    const __m128 scores = _mm_set1_ps(score);
    const __m128 limitLow = _mm_mul_ps(scores, _mm_loadu_ps(&m_primeThreshold[0]));
    const __m128 limitHigh = _mm_mul_ps(
        scores, _mm_setr_ps(m_primeThreshold[4], m_primeThreshold[5], m_primeThreshold[6], 1.0f));
    const __m128i bitsLow = _mm_setr_epi32(1, 2, 4, 8);
    const __m128i bitsHigh = _mm_setr_epi32(16, 32, 64, 128);
    __m128 sumLow = _mm_setzero_ps();
    __m128 sumHigh = _mm_setzero_ps();
    for (int s = 0; s < length; ++s) {
        const __m128i factors = _mm_set1_epi32(static_cast<int>(factorsOf(slots[s].k)));
        const __m128 amp = _mm_set1_ps(slots[s].amplitude);
        const __m128 low =
            _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(factors, bitsLow), bitsLow));
        const __m128 high =
            _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(factors, bitsHigh), bitsHigh));
        sumLow = _mm_add_ps(sumLow, _mm_and_ps(amp, low));
        sumHigh = _mm_add_ps(sumHigh, _mm_and_ps(amp, high));
        const int over = _mm_movemask_ps(_mm_cmplt_ps(limitLow, sumLow)) |
                         (_mm_movemask_ps(_mm_cmplt_ps(limitHigh, sumHigh)) << 4);
        if (over != 0) {
            return m_primes[__builtin_ctz(static_cast<unsigned>(over))];
        }
    }
    return 0;
#else
    float sum[kMaxPrimes] = {};
    float limit[kMaxPrimes];
    for (int i = 0; i < kMaxPrimes; ++i) {
        limit[i] = score * m_primeThreshold[i];
    }
    for (int s = 0; s < length; ++s) {
        const float amp = slots[s].amplitude;
        for (unsigned factors = factorsOf(slots[s].k); factors != 0; factors &= factors - 1) {
            const int i = __builtin_ctz(factors); // lowest prime first
            sum[i] += amp;
            if (limit[i] < sum[i]) {
                return m_primes[i];
            }
        }
    }
    return 0;
#endif
}

void PitchAnalyser::Finalize(int row, const NoteTable& table) {
    const HarmonicSlot* slots = Row(row);
    const int n = m_rowLength[row]; // filled slots; the rest are empty
    // The row's score: the sum of its slots' amplitudes, in slot order (its energy).
    const float x = m_candScore[row];
    // Slots are in ascending k, so the low harmonics come first; the neighbours need adding
    // up only when the low harmonics pass.
    float low = 0.0f;
    for (int s = 0; s < n && slots[s].k <= kLowHarmonics; ++s) {
        low += slots[s].amplitude;
    }
    float adjacency = 0.0f;
    if (low > kLowSumShare * x) {
        for (int s = 0; s < n; ++s) {
            const HarmonicSlot& slot = slots[s];
            if (s > 0 && slots[s - 1].k == slot.k - 1) {
                adjacency += slot.amplitude;
            }
            if (s + 1 < n && slots[s + 1].k == slot.k + 1) {
                adjacency += slot.amplitude;
            }
        }
    }
    if (low > kLowSumShare * x && 0.5f * adjacency > 0.5f * x && x > 0.0f) {
        // The fundamental from the low harmonics only (the same k <= 5 the low sum counts, so
        // an accepted candidate always has some). Averaging every matched harmonic let the
        // stretched upper partials of stiff strings read sharp (a piano's E4 by 5 to 10 cents,
        // a plucked string by 15 cents at its attack) and let weak high harmonics caught in
        // noise scatter the reading. The energy still counts every harmonic.
        float weighted = 0.0f;
        for (int s = 0; s < n && slots[s].k <= kLowHarmonics; ++s) {
            weighted += slots[s].amplitude * (slots[s].frequency / static_cast<float>(slots[s].k));
        }
        const float f = weighted / low;
        const PitchResult r = ToPitchResult(table, f, x);
        if (r.level > m_results[r.note].level) {
            m_results[r.note] = r;
            m_arbiter.ResetClass(r.note);
            m_arbiter.SetClassOctave(r.note, r.octave);
            m_arbiter.SetClassFrequency(r.note, f);
            for (int s = 0; s < n; ++s) {
                m_arbiter.AssignPeak(r.note, slots[s].frequency);
            }
        }
    }
    SetCandidateScore(row, 0.0f);
    m_candFreq[row] = 0.0f;
}

void PitchAnalyser::SetCandidateScore(int j, float score) {
#if defined(__SSE2__)
    // The scores are read four at a time right after one changes. A 16-byte read of a 4-byte
    // store just made cannot take the value from the store queue and waits for the store to
    // land, so the score goes in with a 16-byte store of its group of four.
    float* group = &m_candScore[static_cast<size_t>(j & ~3)];
    const __m128 lane =
        _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(j & 3)));
    const __m128 old = _mm_loadu_ps(group);
    _mm_storeu_ps(group, _mm_or_ps(_mm_and_ps(lane, _mm_set1_ps(score)), _mm_andnot_ps(lane, old)));
#else
    m_candScore[j] = score;
#endif
}

void PitchAnalyser::FindFundamentals(const NoteTable& table) {
    const int g = m_nGrid;
    for (int j = 0; j < g; ++j) {
        m_candFreq[j] = m_candBase[j];
        SetCandidateScore(j, HarmonicScore(m_candFreq[j], j));
    }
    const float nyquist = static_cast<float>(m_nSampleRate / 2);
    const int padded = static_cast<int>(m_candScore.size());
    for (;;) {
        const int j = FirstLargest(m_candScore.data(), padded);
        const float score = m_candScore[j];
        if (!(score > 0.0f)) {
            break;
        }
        const float f = m_candFreq[j];
        const int p = PrimeTest(j, score);
        if (p != 0 && static_cast<float>(p) * f < nyquist) {
            m_candFreq[j] = static_cast<float>(p) * f;
            SetCandidateScore(j, HarmonicScore(m_candFreq[j], j));
        } else {
            Finalize(j, table);
        }
    }
}
