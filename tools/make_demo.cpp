// Writes the demo recording: three seconds of a plucked A2 string, 8 cents flat, as a 16-bit
// 44100 Hz WAV file. The same build always writes the same bytes.
//
//   tarvo-make-demo OUTPUT.wav

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvo-make-demo OUTPUT.wav\n");
        return 2;
    }
    constexpr int kRate = 44100;
    constexpr double kSeconds = 3.0;
    constexpr double kPi = 3.14159265358979323846;
    const double f0 = 110.0 * std::pow(2.0, -8.0 / 1200.0);
    const int total = static_cast<int>(kSeconds * kRate);

    std::vector<double> x(static_cast<size_t>(total), 0.0);
    // A string plucked at a fifth of its length: harmonic k weighs sin(pi k / 5) / k^2, and
    // the higher harmonics die away faster.
    const double pluck = 0.2;
    for (int k = 1; k <= 24 && k * f0 < 0.45 * kRate; ++k) {
        const double weight = std::fabs(std::sin(kPi * k * pluck)) / (k * k);
        if (weight < 1e-6) {
            continue;
        }
        const double decay = 0.9 / (1.0 + 0.45 * (k - 1)); // s
        const double phase = 0.7 * k;
        for (int i = 0; i < total; ++i) {
            const double t = static_cast<double>(i) / kRate;
            x[static_cast<size_t>(i)] +=
                weight * std::exp(-t / decay) * std::sin(2.0 * kPi * k * f0 * t + phase);
        }
    }
    // Pick noise in the first 15 ms, from a fixed-seed generator.
    uint32_t seed = 2026;
    for (int i = 0; i < kRate * 15 / 1000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double u = static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) - 0.5;
        x[static_cast<size_t>(i)] += 0.08 * u * std::exp(-static_cast<double>(i) / (0.004 * kRate));
    }
    // 3 ms attack, and a gentle fade over the last 0.2 s.
    const int attack = kRate * 3 / 1000;
    const int fade = kRate / 5;
    for (int i = 0; i < total; ++i) {
        double g = 1.0;
        if (i < attack) {
            g = static_cast<double>(i) / attack;
        }
        if (i > total - fade) {
            g *= static_cast<double>(total - i) / fade;
        }
        x[static_cast<size_t>(i)] *= g;
    }
    double peak = 0.0;
    for (double v : x) {
        peak = std::max(peak, std::fabs(v));
    }
    std::vector<short> pcm(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        pcm[i] = static_cast<short>(std::lrint(x[i] / peak * 0.7 * 32767.0));
    }

    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(argv[1], SFM_WRITE, &info);
    if (!out) {
        std::fprintf(stderr, "tarvo-make-demo: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const sf_count_t written =
        sf_writef_short(out, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    sf_close(out);
    if (written != static_cast<sf_count_t>(pcm.size())) {
        std::fprintf(stderr, "tarvo-make-demo: %s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
