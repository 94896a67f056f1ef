// The real PortAudio path on a machine without a sound card: the test writes its own ALSA
// configuration whose default capture device reads a known recording from a file, points
// ALSA_CONFIG_PATH at it before PortAudio starts (each test runs in its own process), runs
// the engine and checks that the analysed frames name the recording's note. It also counts
// allocations and lock calls made inside the PortAudio stream callback.

#include "CaptureTestUtil.h"
#include "capture/PortAudioWaveIn.h"
#include "capture/RecordingStart.h"
#include "capture/TunerEngine.h"
#include "model/TunerSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <numbers>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

// Counting interposers for the callback: only in plain builds, where they do not fight the
// sanitizers' own malloc and lock interceptors.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVO_COUNT_CALLBACK_CALLS 0
#else
#define TARVO_COUNT_CALLBACK_CALLS 1
#endif

namespace {
thread_local bool t_inCallback = false;
std::atomic<long> g_callbacks{0};
std::atomic<long> g_allocations{0};
std::atomic<long> g_locks{0};

void Probe(bool entering) {
    t_inCallback = entering;
    if (entering)
        g_callbacks.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if TARVO_COUNT_CALLBACK_CALLS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (t_inCallback && p != nullptr)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
void* aligned_alloc(size_t alignment, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    *out = __libc_memalign(alignment, n);
    return *out != nullptr ? 0 : 12;
}
int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_inCallback)
        g_locks.fetch_add(1, std::memory_order_relaxed);
    return real(m);
}
}
#endif

namespace {

constexpr int kRate = 11025;

// A steady tone of five partials. No trailing silence: once the file ends the file device
// repeats its last period for ever, so the tone goes on however fast frames are taken.
std::vector<int16_t> Tone(double f0, double seconds) {
    const int n = static_cast<int>(seconds * kRate);
    std::vector<int16_t> s(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double v = 0.0;
        for (int k = 1; k <= 5; ++k)
            v += std::sin(2.0 * std::numbers::pi * k * f0 * t) / k;
        s[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(6000.0 * v));
    }
    return s;
}

struct Window {
    TunerEngine* engine = nullptr;
    std::mutex mutex;
    std::map<std::pair<int, int>, int> notes;
    std::atomic<int> frames{0};
    std::atomic<int> pitched{0};

    static void OnFrame(void* self) {
        auto* w = static_cast<Window*>(self);
        const PitchResult* r = w->engine->GetResults();
        const PitchResult* best = &r[0];
        for (int i = 1; i < 12; ++i)
            if (r[i].level > best->level)
                best = &r[i];
        if (best->level > kNoPitchLevel) {
            std::lock_guard lock(w->mutex);
            ++w->notes[{best->note, best->octave}];
            w->pitched.fetch_add(1);
        }
        w->frames.fetch_add(1);
    }
};

struct Reporter : RecordingReporter {
    std::vector<std::string> warnings, lines;
    void ShowWarning(const std::string& title, const std::string&) override {
        warnings.push_back(title);
    }
    void LogError(const std::string& message) override { lines.push_back(message); }
};

} // namespace

TEST(PortAudioEndToEnd, FileFedCaptureDeviceNamesTheRecordedNote) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tarvo-pa-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path raw = dir / "tone.raw";
    const fs::path conf = dir / "asoundrc";
    {
        // D4, 293.66 Hz: raw 16-bit mono at the rate the first attempt opens.
        const std::vector<int16_t> tone = Tone(293.665, 3.0);
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(tone.data()),
                  static_cast<std::streamsize>(tone.size() * sizeof(int16_t)));
        std::ofstream c(conf);
        c << "pcm.!default {\n"
             "    type file\n"
             "    slave.pcm { type null }\n"
             "    file \"/dev/null\"\n"
             "    infile \""
          << raw.string()
          << "\"\n"
             "    format \"raw\"\n"
             "}\n";
    }
    // Before PortAudio (and ALSA) initialise in this process.
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);

    Window window;
    Reporter reporter;
    {
        TunerEngine engine; // PortAudio
        window.engine = &engine;
        if (engine.GetDeviceCount() == 0) {
            fs::remove_all(dir);
            GTEST_SKIP() << "PortAudio lists no ALSA capture device for the file-fed "
                            "configuration (ALSA or its file/null plugins missing)";
        }
        SetPortAudioCallbackProbe(&Probe);
        TunerSettings settings;
        ASSERT_TRUE(StartRecording(engine, settings, &Window::OnFrame, &window, reporter));
        EXPECT_TRUE(reporter.warnings.empty());
        EXPECT_EQ(engine.GetSampleRate(), 11025);
        EXPECT_EQ(engine.GetFrameLength(), 1024);
        WaitFor([&] { return window.pitched.load() >= 200; }, 4000);
        EXPECT_TRUE(engine.Stop());
        SetPortAudioCallbackProbe(nullptr);
    }
    fs::remove_all(dir);

    ASSERT_GT(g_callbacks.load(), 0) << "the PortAudio callback never ran";
    std::pair<int, int> best{-1, -1};
    int bestCount = 0;
    for (const auto& [k, v] : window.notes)
        if (v > bestCount) {
            bestCount = v;
            best = k;
        }
    ASSERT_GE(window.pitched.load(), 50) << "frames analysed: " << window.frames.load();
    EXPECT_EQ(best, std::make_pair(2, 4)) << "D4 expected";
    EXPECT_GT(bestCount, window.pitched.load() * 8 / 10);
#if TARVO_COUNT_CALLBACK_CALLS
    EXPECT_EQ(g_allocations.load(), 0) << "allocations inside the PortAudio callback";
    EXPECT_EQ(g_locks.load(), 0) << "mutex locks inside the PortAudio callback";
#endif
    std::printf("PortAudio callbacks %ld, frames %d (pitched %d), allocations %ld, locks %ld\n",
                g_callbacks.load(), window.frames.load(), window.pitched.load(),
                g_allocations.load(), g_locks.load());
}
