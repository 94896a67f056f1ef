#pragma once
// The capture thread and its owner. The thread records 16-bit mono audio through a CRecorder,
// cuts it into frames of nFrameLength samples spaced nHop apart, converts each frame to floats
// in the frame buffer and calls the frame callback. The hop adapts to the machine's speed, never
// below HopFloor (analysis/FramePipeline.h) of the rate.

#include "capture/WaveInService.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

struct CaptureSettings {
    int32_t nDevice = 0;          // 0 = default device, k >= 1 = device k - 1
    int32_t nSampleRate = 11025;  // samples per second
    int32_t nBuffers = 320;       // recording buffers, at most CRecorder::kMaxBuffers
    int32_t nBufferLength = 1024; // samples per recording buffer
    int32_t nFrameLength = 1024;  // samples per analysis frame
    int32_t nHop = 128;           // samples between frame starts; adapted by the thread
    int32_t nBitsPerSample = 16;  // always 16
};

// Called once per analysed frame on the capture thread; the result is ignored.
using CaptureFrameCallback = int (*)(void* data);

// What the capture thread has done so far (since construction); for tests and measurements.
struct CaptureStats {
    uint64_t waits = 0;            // Collect steps that found no audio waiting
    uint64_t collects = 0;         // Collect steps that found audio waiting (lagging)
    uint64_t buffersTaken = 0;     // buffers taken from the device
    uint64_t framesAnalysed = 0;   // frames converted and called back
    uint64_t framesSkipped = 0;    // frames skipped because newer audio was waiting
    uint64_t pauseSleeps = 0;      // 40 ms pause steps
    uint64_t threadCpuNs = 0;      // CPU time of the latest capture thread, refreshed per wait
    uint64_t abandonedThreads = 0; // threads that did not end within the stop time-out
};

class CaptureController {
public:
    // `service` defaults to PortAudio.
    explicit CaptureController(std::shared_ptr<WaveInService> service = nullptr);
    ~CaptureController();
    CaptureController(const CaptureController&) = delete;
    CaptureController& operator=(const CaptureController&) = delete;

    // `keepAlive` is held by the capture thread until it has ended, so whatever the callback
    // uses outlives a thread that had to be abandoned at a stop time-out.
    void SetCallback(CaptureFrameCallback callback, void* data,
                     std::shared_ptr<void> keepAlive = nullptr);
    void SetDevice(int device);
    void SetSampleRate(int rate);
    void SetBufferLength(int samples);
    void SetFrameLength(int samples);
    void SetHop(int hop);
    int GetHop() const;
    // The live hop as a cell that stays valid for as long as the caller holds it.
    std::shared_ptr<const std::atomic<int32_t>> HopCell() const;
    void SetAdaptiveHop(bool on);
    bool GetAdaptiveHop() const;
    void SetPaused(bool paused);
    void SetFrameBuffer(float* frame); // nFrameLength floats, not owned
    bool IsRunning() const;

    // Starts the capture thread and waits (bounded) until it has allocated its buffers and
    // opened the device: false when that set-up failed, and the controller is idle again.
    bool Start();
    // Ends the thread: returns within 50 ms + (nHop + 500) x 20 ms, and within a second of the
    // thread reaching the device's stop and close; a thread not done by then is abandoned.
    // Always true.
    bool Stop();

    CaptureSettings GetSettings() const;
    CaptureStats GetStats() const;
    WaveInService& Service() const { return *m_service; }
    // Stop time-out in ms; `ms` <= 0 restores (nHop + 500) x 20. For tests of late threads.
    void SetStopTimeoutOverride(int ms) { m_nStopTimeoutOverride = ms; }
    int StopTimeout() const;

    struct Shared; // flags, hop, callback and counters shared with the threads
    struct Run;    // one capture thread's own state

private:
    void Abandon();

    std::shared_ptr<WaveInService> m_service;
    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<Run> m_run;
    CaptureSettings m_settings;
    float* m_pFrameBuffer = nullptr;
    std::shared_ptr<void> m_keepAlive;
    std::unique_ptr<std::thread> m_pThread;
    int m_nStopTimeoutOverride = 0;
};
