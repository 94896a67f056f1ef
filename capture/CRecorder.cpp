#include "capture/CRecorder.h"

#include <algorithm>
#include <new>

CRecorder::CRecorder(WaveInService& service) : m_device(service) {}

CRecorder::~CRecorder() {
    if (m_bOpen && m_device.Close())
        m_bOpen = false;
}

void CRecorder::SetBufferCount(int n) {
    m_nBuffers = std::clamp(n, 0, kMaxBuffers);
}

char* CRecorder::AllocateBlock(size_t bytes) {
    return new (std::nothrow) char[bytes]();
}

bool CRecorder::AllocateBuffers(int bytes) {
    // A zero-length buffer would later read as a full one, so it is a failure like no memory.
    if (bytes <= 0)
        return false;
    for (int i = 0; i < m_nBuffers; ++i) {
        auto* header = new (std::nothrow) WaveHeader{};
        if (header == nullptr)
            return false;
        header->lpData = AllocateBlock(static_cast<size_t>(bytes));
        if (header->lpData == nullptr) {
            delete header;
            return false;
        }
        header->dwBufferLength = static_cast<uint32_t>(bytes);
        m_buffers[i] = header;
    }
    return true;
}

bool CRecorder::FreeBuffers() {
    for (int i = 0; i < m_nBuffers; ++i) {
        if (m_buffers[i] != nullptr) {
            delete[] m_buffers[i]->lpData;
            delete m_buffers[i];
        }
        m_buffers[i] = nullptr;
    }
    return true;
}

bool CRecorder::Open(const WaveFormat& format, int deviceIndex) {
    if (m_bOpen)
        return false;
    const uint32_t id = deviceIndex == 0 ? WAVE_MAPPER : static_cast<uint32_t>(deviceIndex - 1);
    m_bOpen = m_device.Open(id, format, &m_dataEvent);
    return m_bOpen;
}

bool CRecorder::Close() {
    if (!m_bOpen || !m_device.Close())
        return false;
    m_bOpen = false;
    return true;
}

bool CRecorder::QueueAllBuffers() {
    for (int i = 0; i < m_nBuffers; ++i) {
        m_device.PrepareHeader(m_buffers[i]);
        m_device.AddBuffer(m_buffers[i]);
    }
    return true;
}

WaveHeader* CRecorder::GetBuffer(int i) const {
    return i >= 0 && i < kMaxBuffers ? m_buffers[i] : nullptr;
}

bool CRecorder::Start() {
    m_device.Start();
    return true;
}

bool CRecorder::Stop() {
    m_device.Stop();
    return true;
}

bool CRecorder::Reset() {
    m_device.Reset();
    return true;
}

bool CRecorder::ResetDataEvent() {
    m_dataEvent.Reset();
    return true;
}

bool CRecorder::WaitForData(int milliseconds) {
    return m_dataEvent.Wait(milliseconds);
}
