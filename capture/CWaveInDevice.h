#pragma once
// Thinnest layer over one recording device: keeps the last result code, counts the buffers the
// device has handed back filled, and wakes the consumer through the data-ready event.

#include "capture/AutoResetEvent.h"
#include "capture/WaveInService.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CWaveInDevice {
public:
    explicit CWaveInDevice(WaveInService& service);
    virtual ~CWaveInDevice();
    CWaveInDevice(const CWaveInDevice&) = delete;
    CWaveInDevice& operator=(const CWaveInDevice&) = delete;

    // deviceId: WAVE_MAPPER for the default device, else the service's device number.
    bool Open(uint32_t deviceId, const WaveFormat& format, AutoResetEvent* dataEvent);
    bool Close();
    uint32_t Reset(); // skipped (returns the stored code) unless the last result was 0
    uint32_t Start();
    uint32_t Stop();
    uint32_t PrepareHeader(WaveHeader* header);
    uint32_t AddBuffer(WaveHeader* header);

    int GetReadyCount() const { return m_nReadyCount.load(std::memory_order_acquire); }
    void TakeReady() { m_nReadyCount.fetch_sub(1, std::memory_order_acq_rel); }
    uint32_t GetLastResult() const { return m_nLastResult; }
    bool IsOpen() const { return m_hWaveIn != nullptr; }

    // The device callback: on WIM_DATA counts the buffer and sets the event; nothing else.
    static void DeviceCallback(void* instance, uint32_t message, WaveHeader* header) noexcept;

private:
    WaveInService& m_service;
    std::atomic<AutoResetEvent*> m_pDataEvent{nullptr};
    std::atomic<int32_t> m_nReadyCount{0};
    std::unique_ptr<WaveInStream> m_hWaveIn;
    uint32_t m_nLastResult = MMSYSERR_BADDEVICEID;
};
