// The frame path allocates nothing: every allocation function of the process is replaced by a
// counting one, and the count must not move across the frame steps (analysis and tracker) and
// SetConcertA, in every recording configuration.

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include "Signals.h"
#include "analysis/FramePipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
} // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept {
    return operator new(size, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

// C allocations (FFTW's own among them) are counted too where the sanitizers leave malloc to
// glibc.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
}
#endif

namespace {

class NoAllocation : public ::testing::TestWithParam<RecordingConfig> {};

TEST_P(NoAllocation, InTheFramePath) {
    const int n = GetParam().frame.frameLength;
    const int rate = GetParam().frame.sampleRate;
    PitchAnalyser a;
    ASSERT_TRUE(SetUpAnalyser(a, GetParam().frame));
    PitchTracker tracker;
    // Prepared before counting: silence, a harmonic tone and noise.
    std::vector<std::vector<float>> frames(3, std::vector<float>(n, 0.0f));
    testsig::Fill(frames[1].data(), n, rate, testsig::Harmonic(110.0, 8000.0, 12));
    testsig::Noise(frames[2].data(), n, 20000.0);
    const long before = g_allocations.load();
    for (int round = 0; round < 4; ++round) {
        for (const auto& f : frames) {
            std::copy(f.begin(), f.end(), a.FrameBuffer());
            const float level = AnalyseFrame(a, round % 2 == 0, 128).inputLevel;
            TrackFrame(tracker, a.Results(), 128.0f, rate, level);
        }
        a.SetConcertA(round % 2 ? 440.0f : 432.5f);
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

INSTANTIATE_TEST_SUITE_P(LiveConfigurations, NoAllocation, ::testing::ValuesIn(kRecordingConfigs));

} // namespace
