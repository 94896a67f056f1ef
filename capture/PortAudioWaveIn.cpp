// The wave-in service on PortAudio: one input stream per open device, 16-bit mono, callback
// mode. The stream callback only moves samples into the buffers queued by AddBuffer (a
// lock-free ring registered in advance) and reports each full one.

#include "capture/PortAudioWaveIn.h"
#include "capture/QuietAudioLibraries.h"
#include "capture/RecordingStart.h"
#include "capture/WaveBufferQueue.h"
#include "capture/WaveInService.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <portaudio.h>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
        // A callback per capture block: left to itself the host may call back with a period
        // several times that, and the small recording buffers would then come back several at a
        // time, late, instead of each as soon as it is full.
        const auto frames = static_cast<unsigned long>(CaptureBlockLength(static_cast<int>(rate)));
        const PaError err = Pa_OpenStream(&m_stream, &in, nullptr, rate, frames, paClipOff,
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

    uint32_t AddBuffer(WaveHeader* header) override { return m_queue.Add(header); }

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
    // On the window thread at every recording start: a device that hangs counts as none.
    int GetNumDevs() override {
        auto n = std::make_shared<std::atomic<int>>(0);
        const bool bDone = RunPortAudioBounded([n] {
            if (Pa_Initialize() != paNoError)
                return;
            const PaDeviceIndex count = Pa_GetDeviceCount();
            int inputs = 0;
            for (PaDeviceIndex i = 0; i < count; ++i) {
                const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
                if (info != nullptr && info->maxInputChannels > 0)
                    ++inputs;
            }
            Pa_Terminate();
            n->store(inputs);
        });
        return bDone ? n->load() : 0;
    }

    uint32_t Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                  const WaveFormat& format, WaveInProc proc, void* instance) override {
        if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
            format.nChannels != 1 || format.nSamplesPerSec == 0)
            return WAVERR_BADFORMAT;
        std::unique_lock lock(PaMutex());
        const QuietAudioLibraries quiet;
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

    // PortAudio's names of the input-capable devices; none when PortAudio does not answer.
    std::vector<std::string> DeviceNames() override {
        auto names = std::make_shared<std::vector<std::string>>();
        const bool bDone = RunPortAudioBounded([names] {
            if (Pa_Initialize() != paNoError)
                return;
            const PaDeviceIndex count = Pa_GetDeviceCount();
            for (PaDeviceIndex i = 0; i < count; ++i) {
                const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
                if (info != nullptr && info->maxInputChannels > 0)
                    names->emplace_back(info->name ? info->name : "");
            }
            Pa_Terminate();
        });
        return bDone ? *names : std::vector<std::string>();
    }
};

} // namespace

std::mutex& PortAudioLock() {
    static std::mutex m;
    return m;
}

namespace {
std::atomic<int> g_waitLimitMs{5000};
} // namespace

void SetPortAudioWaitLimit(int ms) {
    g_waitLimitMs.store(ms, std::memory_order_relaxed);
}

bool RunPortAudioBounded(std::function<void()> work) {
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<Done>();
    try {
        std::thread([state, work = std::move(work)] {
            {
                std::lock_guard lock(PortAudioLock());
                const QuietAudioLibraries quiet;
                work();
            }
            std::lock_guard lock(state->m);
            state->done = true;
            state->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(state->m);
    return state->cv.wait_for(
        lock, std::chrono::milliseconds(g_waitLimitMs.load(std::memory_order_relaxed)),
        [&] { return state->done; });
}

void SetPortAudioCallbackProbe(PortAudioCallbackProbe probe) {
    g_probe.store(probe, std::memory_order_relaxed);
}

std::shared_ptr<WaveInService> CreatePortAudioWaveIn() {
    return std::make_shared<PortAudioWaveIn>();
}
