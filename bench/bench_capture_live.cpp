// Runs the tuner engine live on the simulated service at real-time pace, with the recording
// start's settings (hop adaptation on), and reports frames analysed per second of audio, the
// hop it settles at and the capture thread's CPU use.
//
//   build/default/bench/bench_capture_live [seconds=60] [frequency=220]

#include "capture/RecordingStart.h"
#include "capture/SimulatedWaveIn.h"
#include "capture/TunerEngine.h"
#include "model/TunerSettings.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

namespace {

struct Counter {
    TunerEngine* engine = nullptr;
    std::atomic<long> frames{0};
    std::atomic<long> pitched{0};
    static void OnFrame(void* self) {
        auto* c = static_cast<Counter*>(self);
        const PitchResult* r = c->engine->GetResults();
        float best = kNoPitchLevel;
        for (int i = 0; i < 12; ++i)
            best = r[i].level > best ? r[i].level : best;
        if (best > kNoPitchLevel)
            c->pitched.fetch_add(1, std::memory_order_relaxed);
        c->frames.fetch_add(1, std::memory_order_relaxed);
    }
};

struct Printer : RecordingReporter {
    void ShowWarning(const std::string& title, const std::string& text) override {
        std::printf("warning: %s: %s\n", title.c_str(), text.c_str());
    }
    void LogError(const std::string& message) override {
        std::printf("log: %s\n", message.c_str());
    }
};

double ProcessCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const double frequency = argc > 2 ? std::atof(argv[2]) : 220.0;

    auto sim = std::make_shared<SimulatedWaveIn>();
    sim->SetSource(std::make_shared<SineSource>(frequency, 11025, 6000.0, 5));
    sim->SetPace(SimulatedWaveIn::Pace::Paced, 1.0, 256);
    TunerEngine engine(sim);
    Counter counter;
    counter.engine = &engine;
    Printer printer;
    TunerSettings settings; // device 0, hop 128, concert A 440

    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!StartRecording(engine, settings, &Counter::OnFrame, &counter, printer))
        return 1;
    std::printf("t(s)  hop  frames/s-of-audio(last 5 s)  skipped(total)\n");
    long lastFrames = 0;
    uint64_t lastSamples = 0;
    for (int t = 5; t <= seconds; t += 5) {
        std::this_thread::sleep_until(t0 + std::chrono::seconds(t));
        const long frames = counter.frames.load();
        const uint64_t samples = sim->DeliveredSamples();
        const double audio = static_cast<double>(samples - lastSamples) / 11025.0;
        std::printf("%4d %4d %10.1f %10llu\n", t, engine.GetHop(),
                    audio > 0 ? static_cast<double>(frames - lastFrames) / audio : 0.0,
                    static_cast<unsigned long long>(engine.Capture().GetStats().framesSkipped));
        lastFrames = frames;
        lastSamples = samples;
    }
    const int hop = engine.GetHop();
    engine.Stop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    const CaptureStats st = engine.Capture().GetStats();
    const double audio = static_cast<double>(sim->DeliveredSamples()) / 11025.0;
    std::printf("\naudio %.1f s in %.1f s wall; buffers delivered %llu, dropped %llu\n", audio,
                wall, static_cast<unsigned long long>(sim->DeliveredBuffers()),
                static_cast<unsigned long long>(sim->DroppedBuffers()));
    std::printf("frames analysed %llu (%.1f per second of audio), skipped %llu, pitched %ld\n",
                static_cast<unsigned long long>(st.framesAnalysed),
                static_cast<double>(st.framesAnalysed) / audio,
                static_cast<unsigned long long>(st.framesSkipped), counter.pitched.load());
    std::printf("waits %llu, lagging collects %llu, final hop %d\n",
                static_cast<unsigned long long>(st.waits),
                static_cast<unsigned long long>(st.collects), hop);
    std::printf("capture thread CPU %.2f s = %.1f %% of one core; whole process %.1f %%\n",
                static_cast<double>(st.threadCpuNs) / 1e9,
                100.0 * static_cast<double>(st.threadCpuNs) / 1e9 / wall, 100.0 * cpu / wall);
    return 0;
}
