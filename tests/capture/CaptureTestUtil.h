#pragma once
// Helpers shared by the capture tests.

#include "analysis/PitchResult.h"

#include <chrono>
#include <thread>

// Polls `pred` until it holds or `timeoutMs` passes; returns its last value.
template <typename Pred> bool WaitFor(Pred pred, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The loudest of a frame's 12 class results (the first of equals).
inline const PitchResult* Loudest(const PitchResult* results) {
    const PitchResult* best = &results[0];
    for (int i = 1; i < 12; ++i)
        if (results[i].level > best->level)
            best = &results[i];
    return best;
}

inline double MillisecondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
