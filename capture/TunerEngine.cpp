#include "capture/TunerEngine.h"

#include "analysis/FramePipeline.h"

#include <algorithm>
#include <array>

struct TunerEngine::Core {
    std::array<PitchResult, PitchAnalyser::kClasses> m_results{};
    PitchAnalyser m_analyser;
    std::atomic<bool> m_bTimeCheck{true};
    std::atomic<int> m_nHop{128};
    std::atomic<float> m_fInputLevel{0.0f};
    std::atomic<FrameUpdateCallback> m_pfnFrameCallback{nullptr};
    std::atomic<void*> m_pCallbackData{nullptr};
    std::shared_ptr<const std::atomic<int32_t>> m_captureHop; // the thread's adapted hop
    std::atomic<bool> m_bDetached{false}; // the engine is gone: call no frame update

    Core() {
        for (int i = 0; i < PitchAnalyser::kClasses; ++i)
            m_results[static_cast<size_t>(i)] = EmptyPitchResult(i);
    }
};

TunerEngine::TunerEngine(std::shared_ptr<WaveInService> service)
    : m_core(std::make_shared<Core>()), m_capture(std::move(service)) {
    m_core->m_captureHop = m_capture.HopCell();
}

TunerEngine::~TunerEngine() {
    if (m_capture.IsRunning())
        m_capture.Stop();
    m_capture.SetCallback(nullptr, nullptr, nullptr);
    m_core->m_bDetached.store(true, std::memory_order_seq_cst);
    // A capture thread abandoned at a stop time-out keeps m_core alive and may still be in
    // the analysis; the analyser is then torn down by the last owner instead.
    if (m_core.use_count() == 1)
        m_core->m_analyser.Teardown();
}

bool TunerEngine::Start(FrameUpdateCallback callback, void* callbackData, int device,
                        int sampleRate, int bufferLength, int frameLength, float lowestFrequency) {
    if (m_capture.IsRunning())
        m_capture.Stop();
    m_capture.SetCallback(nullptr, nullptr, nullptr); // drops the controller's hold on m_core
    if (m_core.use_count() > 1) {
        // A thread abandoned at a stop time-out still holds the old analyser: leave it to it.
        auto fresh = std::make_shared<Core>();
        fresh->m_bTimeCheck.store(m_core->m_bTimeCheck.load());
        fresh->m_nHop.store(m_core->m_nHop.load());
        fresh->m_captureHop = m_capture.HopCell();
        m_core->m_bDetached.store(true, std::memory_order_seq_cst);
        m_core = std::move(fresh);
        m_core->m_analyser.SetConcertA(m_fConcertA);
    }
    m_nDevice = device;
    m_nSampleRate = sampleRate;
    m_nBufferLength = bufferLength;
    m_nFrameLength = frameLength;
    m_fLowestFrequency = lowestFrequency;
    m_core->m_pCallbackData.store(callbackData, std::memory_order_release);
    m_core->m_pfnFrameCallback.store(callback, std::memory_order_release);

    PitchAnalyser& analyser = m_core->m_analyser;
    if (!SetUpAnalyser(analyser, FrameConfig{frameLength, sampleRate, lowestFrequency}))
        return false;

    m_capture.SetCallback(&TunerEngine::OnCaptureFrame, m_core.get(), m_core);
    m_capture.SetDevice(device);
    m_capture.SetSampleRate(sampleRate);
    m_capture.SetBufferLength(bufferLength);
    m_capture.SetFrameLength(frameLength);
    m_capture.SetFrameBuffer(analyser.FrameBuffer());
    const bool bStarted = m_capture.Start();
    // The start brings a hop out of range into range; report the one in use.
    m_core->m_nHop.store(m_capture.GetHop(), std::memory_order_relaxed);
    return bStarted;
}

bool TunerEngine::Stop() {
    if (!m_capture.IsRunning())
        return false;
    return m_capture.Stop();
}

void TunerEngine::SetHop(int hop) {
    m_core->m_nHop.store(hop, std::memory_order_relaxed);
    m_capture.SetHop(hop);
}

void TunerEngine::SetAdaptiveHop(bool on) {
    m_bAdaptiveHop = on;
    m_capture.SetAdaptiveHop(on);
}

void TunerEngine::SetTimeCheck(bool on) {
    m_core->m_bTimeCheck.store(on, std::memory_order_relaxed);
}

bool TunerEngine::SetConcertA(float hz) {
    m_fConcertA = hz;
    return m_core->m_analyser.SetConcertA(hz);
}

float TunerEngine::GetInputLevel() const {
    return m_core->m_fInputLevel.load(std::memory_order_relaxed);
}

const PitchResult* TunerEngine::GetResults() const {
    return m_core->m_results.data();
}

FramePeaks TunerEngine::GetPeaks() const {
    const PitchAnalyser& analyser = m_core->m_analyser;
    return {analyser.PeakFrequencies(), analyser.PeakAmplitudes(), analyser.MaxPeaks()};
}

int TunerEngine::GetHop() const {
    return m_core->m_nHop.load(std::memory_order_relaxed);
}

int TunerEngine::GetDeviceCount() {
    return m_capture.Service().GetNumDevs();
}

int TunerEngine::OnCaptureFrame(void* data) {
    Core& core = *static_cast<Core*>(data);
    if (core.m_bDetached.load(std::memory_order_acquire))
        return 0;
    const int hop = core.m_captureHop->load(std::memory_order_relaxed);
    core.m_nHop.store(hop, std::memory_order_relaxed);
    const FrameAnalysis frame =
        AnalyseFrame(core.m_analyser, core.m_bTimeCheck.load(std::memory_order_relaxed), hop);
    core.m_fInputLevel.store(frame.inputLevel, std::memory_order_relaxed);
    if (frame.analysed)
        std::copy_n(core.m_analyser.Results(), PitchAnalyser::kClasses, core.m_results.begin());
    if (FrameUpdateCallback cb = core.m_pfnFrameCallback.load(std::memory_order_acquire))
        cb(core.m_pCallbackData.load(std::memory_order_acquire));
    return 0;
}
