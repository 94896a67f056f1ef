#include "capture/CWaveInDevice.h"

CWaveInDevice::CWaveInDevice(WaveInService& service) : m_service(service) {}

CWaveInDevice::~CWaveInDevice() = default;

bool CWaveInDevice::Open(uint32_t deviceId, const WaveFormat& format, AutoResetEvent* dataEvent) {
    // Event and count are in place before the service can call back.
    m_pDataEvent.store(dataEvent, std::memory_order_release);
    m_nReadyCount.store(0, std::memory_order_release);
    std::unique_ptr<WaveInStream> stream;
    m_nLastResult = m_service.Open(stream, deviceId, format, &CWaveInDevice::DeviceCallback, this);
    if (m_nLastResult == MMSYSERR_NOERROR)
        m_hWaveIn = std::move(stream);
    return m_nLastResult == MMSYSERR_NOERROR;
}

bool CWaveInDevice::Close() {
    m_nLastResult = m_hWaveIn ? m_hWaveIn->Close() : MMSYSERR_INVALHANDLE;
    if (m_nLastResult == MMSYSERR_NOERROR)
        m_hWaveIn.reset();
    return m_nLastResult == MMSYSERR_NOERROR;
}

uint32_t CWaveInDevice::Reset() {
    if (m_nLastResult != MMSYSERR_NOERROR)
        return m_nLastResult;
    m_nLastResult = m_hWaveIn ? m_hWaveIn->Reset() : MMSYSERR_INVALHANDLE;
    return m_nLastResult;
}

uint32_t CWaveInDevice::Start() {
    return m_nLastResult = m_hWaveIn ? m_hWaveIn->Start() : MMSYSERR_INVALHANDLE;
}

uint32_t CWaveInDevice::Stop() {
    return m_nLastResult = m_hWaveIn ? m_hWaveIn->Stop() : MMSYSERR_INVALHANDLE;
}

uint32_t CWaveInDevice::PrepareHeader(WaveHeader* header) {
    return m_nLastResult = m_hWaveIn ? m_hWaveIn->Prepare(header) : MMSYSERR_INVALHANDLE;
}

uint32_t CWaveInDevice::AddBuffer(WaveHeader* header) {
    return m_nLastResult = m_hWaveIn ? m_hWaveIn->AddBuffer(header) : MMSYSERR_INVALHANDLE;
}

void CWaveInDevice::DeviceCallback(void* instance, uint32_t message, WaveHeader*) noexcept {
    if (message != WIM_DATA)
        return;
    auto* self = static_cast<CWaveInDevice*>(instance);
    self->m_nReadyCount.fetch_add(1, std::memory_order_acq_rel);
    if (AutoResetEvent* e = self->m_pDataEvent.load(std::memory_order_acquire))
        e->Set();
}
