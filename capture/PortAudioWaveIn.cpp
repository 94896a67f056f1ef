// The wave-in service on PortAudio: one input stream per open device, 16-bit mono, callback
// mode. The stream callback only moves samples into the buffers queued by AddBuffer (a
// lock-free ring registered in advance) and reports each full one.

#include "capture/PortAudioWaveIn.h"
#include "capture/WaveBufferQueue.h"
#include "capture/WaveInService.h"

#include <atomic>
#include <mutex>
#include <portaudio.h>

namespace {

std::atomic<PortAudioCallbackProbe> g_probe{nullptr};

std::mutex& PaMutex() {
    return PortAudioLock();
}

// Input-capable device number `n` (0-based), or paNoDevice.
PaDeviceIndex InputDevice(uint32_t id) {
    if (id == WAVE_MAPPER)
        return Pa_GetDefaultInputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    uint32_t seen = 0;
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxInputChannels < 1)
            continue;
        if (seen++ == id)
            return i;
    }
    return paNoDevice;
}

class PortAudioStream final : public WaveInStream {
public:
    PortAudioStream(WaveInProc proc, void* instance) : m_proc(proc), m_instance(instance) {}

    ~PortAudioStream() override {
        if (m_stream != nullptr) {
            std::lock_guard lock(PaMutex());
            Pa_AbortStream(m_stream);
            Pa_CloseStream(m_stream);
            Pa_Terminate();
        }
    }

    uint32_t OpenStream(PaDeviceIndex device, const WaveFormat& format) {
        PaStreamParameters in{};
        in.device = device;
        in.channelCount = format.nChannels;
        in.sampleFormat = paInt16;
        in.suggestedLatency = Pa_GetDeviceInfo(device)->defaultLowInputLatency;
        const double rate = format.nSamplesPerSec;
        if (Pa_IsFormatSupported(&in, nullptr, rate) != paFormatIsSupported)
            return WAVERR_BADFORMAT;
        const PaError err =
            Pa_OpenStream(&m_stream, &in, nullptr, rate, paFramesPerBufferUnspecified, paClipOff,
                          &PortAudioStream::Callback, this);
        if (err != paNoError) {
            m_stream = nullptr;
            return err == paInvalidSampleRate || err == paSampleFormatNotSupported ||
                           err == paInvalidChannelCount
                       ? WAVERR_BADFORMAT
                       : MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    uint32_t Close() override {
        if (m_queue.Size() > 0)
            return WAVERR_STILLPLAYING;
        std::lock_guard lock(PaMutex());
        Pa_CloseStream(m_stream);
        m_stream = nullptr;
        Pa_Terminate();
        return MMSYSERR_NOERROR;
    }

    uint32_t Prepare(WaveHeader* header) override { return PrepareHeader(header); }

    uint32_t AddBuffer(WaveHeader* header) override {
        if (const uint32_t refused = CheckQueueable(header); refused != MMSYSERR_NOERROR)
            return refused;
        return m_queue.Push(header) ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
    }

    uint32_t Start() override {
        if (Pa_IsStreamActive(m_stream) == 1)
            return MMSYSERR_NOERROR;
        return Pa_StartStream(m_stream) == paNoError ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    }

    uint32_t Stop() override {
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_StopStream(m_stream);
        // The callback has ended: this thread may act as the consumer now.
        m_queue.CompletePartial(m_proc, m_instance);
        return MMSYSERR_NOERROR;
    }

    uint32_t Reset() override {
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_AbortStream(m_stream);
        m_queue.CompleteAll(m_proc, m_instance);
        return MMSYSERR_NOERROR;
    }

private:
    // Audio thread: copy into queued buffers, count each full one. Nothing else.
    static int Callback(const void* input, void*, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags,
                        void* self) noexcept {
        const PortAudioCallbackProbe probe = g_probe.load(std::memory_order_relaxed);
        if (probe != nullptr)
            probe(true);
        auto* s = static_cast<PortAudioStream*>(self);
        s->m_queue.Fill(static_cast<const int16_t*>(input), frames, s->m_proc, s->m_instance);
        if (probe != nullptr)
            probe(false);
        return paContinue;
    }

    WaveInProc m_proc;
    void* m_instance;
    PaStream* m_stream = nullptr;
    WaveBufferQueue m_queue;
};

class PortAudioWaveIn final : public WaveInService {
public:
    int GetNumDevs() override {
        std::lock_guard lock(PaMutex());
        if (Pa_Initialize() != paNoError)
            return 0;
        int n = 0;
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info != nullptr && info->maxInputChannels > 0)
                ++n;
        }
        Pa_Terminate();
        return n;
    }

    uint32_t Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                  const WaveFormat& format, WaveInProc proc, void* instance) override {
        if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
            format.nChannels != 1 || format.nSamplesPerSec == 0)
            return WAVERR_BADFORMAT;
        std::unique_lock lock(PaMutex());
        if (Pa_Initialize() != paNoError)
            return MMSYSERR_NODRIVER;
        const PaDeviceIndex device = InputDevice(deviceId);
        if (device == paNoDevice) {
            Pa_Terminate();
            return MMSYSERR_BADDEVICEID;
        }
        auto s = std::make_unique<PortAudioStream>(proc, instance);
        const uint32_t result = s->OpenStream(device, format);
        if (result != MMSYSERR_NOERROR) {
            Pa_Terminate();
            return result;
        }
        lock.unlock();
        if (proc != nullptr)
            proc(instance, WIM_OPEN, nullptr);
        stream = std::move(s);
        return MMSYSERR_NOERROR;
    }
};

} // namespace

std::mutex& PortAudioLock() {
    static std::mutex m;
    return m;
}

void SetPortAudioCallbackProbe(PortAudioCallbackProbe probe) {
    g_probe.store(probe, std::memory_order_relaxed);
}

std::shared_ptr<WaveInService> CreatePortAudioWaveIn() {
    return std::make_shared<PortAudioWaveIn>();
}
