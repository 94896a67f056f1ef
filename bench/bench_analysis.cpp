// Cost of the frame analysis against the transforms it cannot avoid, and of the tracker.
//
//   build/default/bench/bench_analysis
//
// BM_AnalyseFrame reports `xTransforms`: its time per frame divided by the time of the two
// forward transforms of the same frame length alone (measured in the same run).

#include "analysis/PitchAnalyser.h"
#include "analysis/PitchTracker.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

enum Signal { kSilence, kSine, kHarmonic, kChord, kNoise };
const char* const kSignalNames[] = {"silence", "sine", "harmonic", "chord", "noise"};

struct Config {
    int n;
    int rate;
    float lowest;
};
const Config kConfigs[] = {{1024, 11025, 20.0f}, {2048, 44100, 35.0f}};

std::vector<float> MakeFrame(Signal s, int n, int rate) {
    std::vector<float> x(static_cast<size_t>(n), 0.0f);
    auto add = [&](double f, double a, double ph) {
        for (int i = 0; i < n; ++i) {
            x[static_cast<size_t>(i)] +=
                static_cast<float>(a * std::sin(2 * kPi * f * i / rate + ph));
        }
    };
    switch (s) {
    case kSilence:
        break;
    case kSine:
        add(440.3, 10000.0, 0.0);
        break;
    case kHarmonic:
        for (int k = 1; k <= 12; ++k) {
            add(110.0 * k, 8000.0 / k, 0.3 * k);
        }
        break;
    case kChord:
        for (double f0 : {220.0, 277.18, 329.63}) {
            for (int k = 1; k <= 6; ++k) {
                add(f0 * k, 4000.0 / k, 0.5 * k);
            }
        }
        break;
    case kNoise: {
        uint32_t seed = 7;
        for (float& v : x) {
            seed = seed * 1664525u + 1013904223u;
            v = static_cast<float>(20000.0 * ((seed >> 8) / double(1u << 24) - 0.5));
        }
        break;
    }
    }
    for (float& v : x) {
        v = std::nearbyint(v);
    }
    return x;
}

// Two in-place forward transforms of N points (frame and derivative, the time check being off
// in the live tuner), from freshly copied input as the analysis has it.
class Transforms {
public:
    explicit Transforms(int n) : m_n(n) {
        m_a = static_cast<float*>(fftwf_malloc(sizeof(float) * (n + 2)));
        m_b = static_cast<float*>(fftwf_malloc(sizeof(float) * (n + 2)));
        m_pa = fftwf_plan_dft_r2c_1d(n, m_a, reinterpret_cast<fftwf_complex*>(m_a), FFTW_ESTIMATE);
        m_pb = fftwf_plan_dft_r2c_1d(n, m_b, reinterpret_cast<fftwf_complex*>(m_b), FFTW_ESTIMATE);
    }
    ~Transforms() {
        fftwf_destroy_plan(m_pa);
        fftwf_destroy_plan(m_pb);
        fftwf_free(m_a);
        fftwf_free(m_b);
    }
    void Run(const std::vector<float>& input) {
        std::copy(input.begin(), input.end(), m_a);
        std::copy(input.begin(), input.end(), m_b);
        fftwf_execute(m_pa);
        fftwf_execute(m_pb);
        benchmark::DoNotOptimize(m_a[3]);
        benchmark::DoNotOptimize(m_b[3]);
    }

private:
    int m_n;
    float* m_a;
    float* m_b;
    fftwf_plan m_pa;
    fftwf_plan m_pb;
};

// CPU seconds of this thread, so other load on the machine does not count.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Best-of-several CPU time per call of f, measured in blocks.
template <class F> double BestSeconds(F&& f, int reps = 7, int iters = 400) {
    double best = 1e9;
    for (int r = 0; r < reps; ++r) {
        const double t0 = ThreadSeconds();
        for (int i = 0; i < iters; ++i) {
            f();
        }
        best = std::min(best, (ThreadSeconds() - t0) / iters);
    }
    return best;
}

void BM_Transforms(benchmark::State& state) {
    const Config c = kConfigs[state.range(0)];
    Transforms t(c.n);
    const auto input = MakeFrame(kNoise, c.n, c.rate);
    for (auto _ : state) {
        t.Run(input);
    }
    state.SetLabel(std::to_string(c.n) + "@" + std::to_string(c.rate));
}

void BM_AnalyseFrame(benchmark::State& state) {
    const Config c = kConfigs[state.range(0)];
    const auto signal = static_cast<Signal>(state.range(1));
    PitchAnalyser a;
    if (!a.Setup(c.n, c.rate, 20, 7, 24, c.lowest)) {
        state.SkipWithError("Setup failed");
        return;
    }
    const auto input = MakeFrame(signal, c.n, c.rate);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), a.FrameBuffer());
        a.AnalyseFrame(false, 128);
        benchmark::DoNotOptimize(a.Results());
    }
    state.SetLabel(std::string(kSignalNames[signal]) + " " + std::to_string(c.n) + "@" +
                   std::to_string(c.rate));
    // The ratio to the transforms, from best-of blocks of each measured side by side.
    Transforms t(c.n);
    auto frame = [&] {
        std::copy(input.begin(), input.end(), a.FrameBuffer());
        a.AnalyseFrame(false, 128);
        benchmark::DoNotOptimize(a.Results());
    };
    auto transforms = [&] { t.Run(input); };
    const double frameSeconds = BestSeconds(frame);
    const double transformSeconds = BestSeconds(transforms);
    state.counters["frame_us"] = frameSeconds * 1e6;
    state.counters["fft_us"] = transformSeconds * 1e6;
    state.counters["xTransforms"] = frameSeconds / transformSeconds;
}

void BM_Track(benchmark::State& state) {
    PitchTracker t;
    // A steady A4 with a little jitter and a level around -20: the tracker follows, averages
    // and adapts its window.
    std::vector<PitchResult> inputs;
    for (int i = 0; i < 1024; ++i) {
        inputs.push_back(
            PitchResult{9, 4, static_cast<float>(3.0 * std::sin(i * 0.37)), -20.0f, 440.0f});
    }
    size_t i = 0;
    for (auto _ : state) {
        const PitchResult r = t.Track(inputs[i], 128.0f, 11025, 0.5f);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & 1023;
    }
    state.SetLabel(state.range(0) ? "holding" : "following");
}

void BM_TrackHolding(benchmark::State& state) {
    PitchTracker t;
    const PitchResult empty = EmptyPitchResult(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.Track(empty, 128.0f, 11025, 0.0f));
    }
}

} // namespace

BENCHMARK(BM_Transforms)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnalyseFrame)
    ->ArgsProduct({{0, 1}, {kSilence, kSine, kHarmonic, kChord, kNoise}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Track)->Arg(0)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_TrackHolding)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
