#pragma once

#include "analysis/PitchClassArbiter.h"
#include "analysis/PitchResult.h"

#include <array>
#include <atomic>
#include <vector>

// One note of the equal-tempered table built from concert A.
struct NoteTableEntry {
    float frequency = 0.0f; // Hz
    int octave = 0;
    int note = 0; // 0..11
};

// The frame analysis: spectral peaks refined by time-frequency reassignment, a harmonic-comb
// search for fundamentals with prime-factor climbing, and per-pitch-class arbitration. A frame
// in yields twelve PitchResult records, one per pitch class.
//
// Threads: Setup and Teardown run while no capture thread runs. InputLevel, FindPeaks,
// AnalyseFrame and the other frame calls run on the capture thread. SetConcertA may run on the
// window thread while a frame is analysed: it builds the new table aside and publishes it
// whole; a frame uses one table from start to end. The frame path allocates nothing.
class PitchAnalyser {
public:
    static constexpr int kClasses = 12;
    static constexpr int kMaxPrimes = 7;

    PitchAnalyser();
    ~PitchAnalyser();
    PitchAnalyser(const PitchAnalyser&) = delete;
    PitchAnalyser& operator=(const PitchAnalyser&) = delete;

    // n: frame length, a power of two >= 2; rate: Hz; maxPeaks: PeakList size (20);
    // primes: how many of 2, 3, 5, 7, 11, 13, 17 to try (7); grid: candidates per octave (24);
    // lowest: Hz, lower end of the search. False for a bad configuration or no memory.
    bool Setup(int n, int rate, int maxPeaks, int primes, int grid, float lowest);
    // Frees every buffer and the transform plans. Safe to call twice.
    void Teardown();
    bool IsSetUp() const { return m_nFrameLength > 0; }

    // N + 2 floats; the capture side writes N samples of 16-bit integer value before a frame.
    float* FrameBuffer() { return m_frame; }
    int FrameLength() const { return m_nFrameLength; }
    int SampleRate() const { return m_nSampleRate; }
    float LowestFrequency() const { return m_fLowest; }
    int MaxPeaks() const { return m_nMaxPeaks; }

    // Recording level of the raw frame, 0..1 (10 ln(peak / full scale) over -60..0). Call
    // before AnalyseFrame, which windows the buffer in place.
    float InputLevel() const;

    // Windows and transforms the frame and fills the PeakList. Returns the number of peaks
    // found before truncation to maxPeaks. timeCheck drops peaks whose energy centre lies
    // hop / 2 samples or more from the frame centre.
    int FindPeaks(bool timeCheck, int hop);

    // The whole frame: FindPeaks, then AnalysePeaks. Leaves twelve results in Results().
    bool AnalyseFrame(bool timeCheck, int hop);

    // Fundamentals and arbitration on the current PeakList (what AnalyseFrame does after
    // FindPeaks). Lets callers analyse a PeakList they loaded themselves.
    bool AnalysePeaks();

    // The PeakList: maxPeaks frequencies (Hz) and amplitudes; amplitude 0 marks an empty
    // entry. Entries past the peaks of the last frame are cleared every frame.
    const float* PeakFrequencies() const { return m_peakFreq.data(); }
    const float* PeakAmplitudes() const { return m_peakAmp.data(); }
    float* PeakFrequencies() { return m_peakFreq.data(); }
    float* PeakAmplitudes() { return m_peakAmp.data(); }

    // The twelve results of the last frame, index = pitch class.
    const PitchResult* Results() const { return m_results.data(); }
    const PitchResult& Result(int pitchClass) const { return m_results[pitchClass]; }

    // Rebuilds the note table for concert A (Hz). False, table unchanged, when A is below the
    // lowest frequency or above the sample rate. Window thread; one writer at a time.
    bool SetConcertA(float a);
    float ConcertA() const { return m_fConcertA.load(std::memory_order_relaxed); }

    // Names frequency f (Hz) with energy E (sum of harmonic amplitudes) against the current
    // note table.
    PitchResult ToPitchResult(float f, float energy);

private:
    struct NoteTable {
        std::vector<NoteTableEntry> entries; // capacity fixed at Setup
        int count = 0;
    };
    struct HarmonicSlot {
        int k = 0; // harmonic number, 0 = empty
        float frequency = 0.0f;
        float amplitude = 0.0f;
    };

    void FreeBuffers();
    const NoteTable& AcquireNoteTable();
    static PitchResult ToPitchResult(const NoteTable& table, float f, float energy);
    float HarmonicScore(float f, int row);
    float HarmonicScoreInOrder(float f, HarmonicSlot* slots, int& length);
    HarmonicSlot* Row(int row) { return &m_rows[static_cast<size_t>(row) * m_nRowStride + 1]; }
    int PrimeTest(int row, float score);
    void Finalize(int row, const NoteTable& table);
    void SetCandidateScore(int j, float score);
    void FindFundamentals(const NoteTable& table);
    // The live peak that is the whole frame on its own (a pure tone), or -1.
    int LonePeak() const;
    // A low pure tone's frequency f with its mirror image's pull taken away, from the frame's
    // spectra (what FindPeaks left).
    float WithoutMirror(float f) const;
    // AnalysePeaks; fromSpectra when the PeakList came from this frame's FindPeaks.
    bool Analyse(bool fromSpectra);

    // Configuration
    int m_nFrameLength = 0;
    int m_nOrder = 0;
    int m_nSampleRate = 0;
    float m_fLowest = 0.0f;
    float m_fHalfBinWidth = 0.0f;
    int m_nHalfFrame = 0;
    int m_nMaxPeaks = 0;
    int m_nPrimes = 0;
    int m_nGrid = 0;

    // Transform buffers (FFTW-aligned, N + 2 floats each) and plans.
    float* m_frame = nullptr;
    float* m_deriv = nullptr;
    float* m_time = nullptr;
    void* m_planFrame = nullptr;
    void* m_planDeriv = nullptr;
    void* m_planTime = nullptr;

    std::vector<float> m_window;      // Blackman, N
    std::vector<float> m_timeWindow;  // window * ramp -1..+1, N
    std::vector<float> m_derivWindow; // (rate / 2 pi) * first difference of Blackman(N + 1), N

    // Peak work lists, sized so a frame's local maxima always fit.
    std::vector<float> m_workFreq;
    std::vector<float> m_workAmp;
    std::vector<int> m_workIndex;
    std::vector<float> m_peakFreq; // PeakList
    std::vector<float> m_peakAmp;
    std::vector<float> m_topAmp;   // amplitudes of the strongest peaks while selecting them
    std::vector<float> m_power;    // bin powers of the frame, N / 2 + 1
    std::vector<float> m_liveFreq; // the PeakList's non-empty entries, gathered each frame
    std::vector<float> m_liveAmp;
    std::vector<int> m_liveK; // harmonic number of each live peak, per scoring
    std::vector<int> m_liveMatch;
    int m_nLivePeaks = 0;
    bool m_bLiveAscending = false; // live peaks in ascending frequency, all finite and > 0

    // Candidate search
    float m_fQuarterTone = 0.0f;
    std::vector<float> m_candBase; // lowest * 2^(j / grid)
    std::vector<float> m_candFreq;
    std::vector<float> m_candScore;
    // Grid rows of maxPeaks slots, each preceded by one empty slot (Row(r)[-1], never
    // written) that stands for "no slot yet" in the scoring.
    std::vector<HarmonicSlot> m_rows;
    int m_nRowStride = 0;
    std::vector<int> m_rowLength; // filled slots per row
    std::array<int, kMaxPrimes> m_primes{};
    std::array<float, kMaxPrimes> m_primeThreshold{};
    std::vector<unsigned char> m_primeFactors; // per harmonic number: bit i = prime i divides it

    std::array<PitchResult, kClasses> m_results{};
    PitchClassArbiter m_arbiter;

    // Note tables: three slots handed between the writer (SetConcertA) and the reader (the
    // frame) without locks. The writer owns m_nTableBack, the reader m_nTableFront; the third
    // sits in m_nTableShared, with kFresh set when the writer left a new table there.
    static constexpr int kFresh = 4;
    std::array<NoteTable, 3> m_tables;
    std::atomic<int> m_nTableShared{1};
    int m_nTableFront = 0;
    int m_nTableBack = 2;
    std::atomic<float> m_fConcertA{440.0f};
};
