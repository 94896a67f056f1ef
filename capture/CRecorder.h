#pragma once
// Everything one recording run needs below the capture thread: the device, its data-ready
// event and a fixed set of at most 320 recording buffers (small ones, so that audio reaches the
// capture thread every few milliseconds, and enough of them to hold seconds of it).

#include "capture/AutoResetEvent.h"
#include "capture/CWaveInDevice.h"

#include <array>
#include <cstddef>
#include <cstdint>

class CRecorder {
public:
    static constexpr int kMaxBuffers = 320;

    explicit CRecorder(WaveInService& service);
    virtual ~CRecorder(); // closes an open device; does not free the buffers
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    void SetBufferCount(int n); // clamped to 0..kMaxBuffers
    int GetBufferCount() const { return m_nBuffers; }
    // Creates zero-filled buffers of `bytes` bytes in slots 0..n-1; false (slots filled so far
    // stay filled) when a header or data block cannot be allocated or `bytes` is not positive.
    bool AllocateBuffers(int bytes);
    bool FreeBuffers();

    // deviceIndex 0 = default device, k >= 1 = device k - 1. False if already open or on failure.
    bool Open(const WaveFormat& format, int deviceIndex);
    bool Close();
    bool IsOpen() const { return m_bOpen; }
    bool QueueAllBuffers();
    WaveHeader* GetBuffer(int i) const;
    uint32_t PrepareHeader(WaveHeader* header) { return m_device.PrepareHeader(header); }
    uint32_t AddBuffer(WaveHeader* header) { return m_device.AddBuffer(header); }
    bool Start();
    bool Stop();
    bool Reset();
    bool ResetDataEvent();
    // False when nothing was signalled within `milliseconds`.
    bool WaitForData(int milliseconds);
    int GetReadyCount() const { return m_device.GetReadyCount(); }
    void TakeReady() { m_device.TakeReady(); }
    CWaveInDevice& Device() { return m_device; }

protected:
    // Zero-filled data block of `bytes` bytes, or null; tests override it to fail.
    virtual char* AllocateBlock(size_t bytes);

private:
    int m_nBuffers = 0;
    bool m_bOpen = false;
    AutoResetEvent m_dataEvent;
    CWaveInDevice m_device;
    std::array<WaveHeader*, kMaxBuffers> m_buffers{};
};
