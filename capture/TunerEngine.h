#pragma once
// Joins capture and analysis: owns the capture controller and the pitch analyser, keeps the
// twelve latest results and, for every converted frame, runs the analysis and then the
// window's frame update on the capture thread.

#include "analysis/FramePipeline.h"
#include "analysis/PitchAnalyser.h"
#include "analysis/PitchResult.h"
#include "capture/CaptureController.h"

#include <atomic>
#include <memory>

// The window's frame update; called on the capture thread after every analysed frame.
using FrameUpdateCallback = void (*)(void* data);

class TunerEngine {
public:
    // `service` defaults to PortAudio.
    explicit TunerEngine(std::shared_ptr<WaveInService> service = nullptr);
    ~TunerEngine();
    TunerEngine(const TunerEngine&) = delete;
    TunerEngine& operator=(const TunerEngine&) = delete;

    // Stops a running capture, sets the analyser up and starts the capture thread. True when
    // the thread runs with its buffers allocated and the device open.
    bool Start(FrameUpdateCallback callback, void* callbackData, int device, int sampleRate,
               int bufferLength, int frameLength, float lowestFrequency);
    // The controller's result when capture was running, else false.
    bool Stop();
    bool IsRunning() const { return m_capture.IsRunning(); }

    void SetHop(int hop);
    void SetAdaptiveHop(bool on);
    void SetTimeCheck(bool on);
    bool SetConcertA(float hz);
    float GetInputLevel() const;

    // Read by the frame update on the capture thread right after the per-frame routine.
    const PitchResult* GetResults() const; // twelve, index = pitch class
    FramePeaks GetPeaks() const;           // the frame's spectral peaks
    int GetHop() const;                    // current (adapted) hop, samples
    int GetSampleRate() const { return m_nSampleRate; }
    bool GetAdaptiveHop() const { return m_bAdaptiveHop; }

    int GetDevice() const { return m_nDevice; }
    int GetBufferLength() const { return m_nBufferLength; }
    int GetFrameLength() const { return m_nFrameLength; }
    float GetLowestFrequency() const { return m_fLowestFrequency; }
    float GetConcertA() const { return m_fConcertA; }

    // Recording devices the audio service offers (0 = none at all).
    int GetDeviceCount();

    CaptureController& Capture() { return m_capture; }
    const CaptureController& Capture() const { return m_capture; }

    // The per-frame routine (the capture callback); `core` is the engine's Core.
    static int OnCaptureFrame(void* core);

    // What the per-frame routine touches; shared with the capture thread so that a thread
    // abandoned at a stop time-out never works on freed memory.
    struct Core;

private:
    std::shared_ptr<Core> m_core;
    CaptureController m_capture;
    bool m_bAdaptiveHop = true;
    int m_nDevice = 0;
    int m_nSampleRate = 11025;
    int m_nBufferLength = 512;
    int m_nFrameLength = 512;
    float m_fLowestFrequency = 40.0f;
    float m_fConcertA = 440.0f;
};
