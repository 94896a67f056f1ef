#pragma once

// Test signals in the frame buffer's format: floats holding 16-bit integer values.

#include <cmath>
#include <cstdint>
#include <vector>

namespace testsig {

constexpr double kPi = 3.14159265358979323846;

struct Partial {
    double frequency; // Hz
    double amplitude; // 16-bit units
    double phase = 0.0;
};

// Sum of partials at sample offset `start`, rounded to integers as a recording would be.
inline void Fill(float* out, int n, int rate, const std::vector<Partial>& partials,
                 long start = 0) {
    for (int i = 0; i < n; ++i) {
        double v = 0.0;
        const double t = static_cast<double>(start + i) / rate;
        for (const auto& p : partials)
            v += p.amplitude * std::sin(2.0 * kPi * p.frequency * t + p.phase);
        v = std::fmax(-32768.0, std::fmin(32767.0, v));
        out[i] = static_cast<float>(std::lrint(v));
    }
}

// Harmonics 1..count of f0 with amplitude a / k.
inline std::vector<Partial> Harmonic(double f0, double a, int count, double maxFrequency = 1e9) {
    std::vector<Partial> p;
    for (int k = 1; k <= count && k * f0 < maxFrequency; ++k)
        p.push_back({k * f0, a / k, 0.3 * k});
    return p;
}

// Deterministic white noise of the given peak amplitude.
inline void Noise(float* out, int n, double amplitude, uint32_t seed = 12345) {
    uint32_t s = seed;
    for (int i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        const double u = static_cast<double>(s >> 8) / static_cast<double>(1u << 24);
        out[i] = static_cast<float>(std::lrint(amplitude * (2.0 * u - 1.0)));
    }
}

inline double Cents(double f, double ref) {
    return 1200.0 * std::log2(f / ref);
}

} // namespace testsig
