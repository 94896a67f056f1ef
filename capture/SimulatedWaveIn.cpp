#include "capture/SimulatedWaveIn.h"

#include "capture/WaveBufferQueue.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>

void RampSource::Fill(int16_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i)
        dst[i] = static_cast<int16_t>((m_pos++) % static_cast<uint64_t>(m_period));
}

SineSource::SineSource(double frequency, int sampleRate, double amplitude, int harmonics)
    : m_step(2.0 * std::numbers::pi * frequency / sampleRate), m_amplitude(amplitude),
      m_harmonics(harmonics < 1 ? 1 : harmonics) {}

void SineSource::Fill(int16_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        double v = 0.0;
        for (int k = 1; k <= m_harmonics; ++k)
            v += std::sin(k * m_phase) / k;
        dst[i] = static_cast<int16_t>(std::lround(m_amplitude * v));
        m_phase = std::fmod(m_phase + m_step, 2.0 * std::numbers::pi);
    }
}

SamplesSource::SamplesSource(std::vector<int16_t> samples, bool loop)
    : m_samples(std::move(samples)), m_loop(loop) {}

std::shared_ptr<SamplesSource> SamplesSource::FromRawFile(const std::string& path, bool loop) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> samples;
    unsigned char b[2];
    while (in.read(reinterpret_cast<char*>(b), 2))
        samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8))));
    return std::make_shared<SamplesSource>(std::move(samples), loop);
}

void SamplesSource::Fill(int16_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (m_pos >= m_samples.size() && m_loop && !m_samples.empty())
            m_pos = 0;
        dst[i] = m_pos < m_samples.size() ? m_samples[m_pos++] : 0;
    }
}

class SimulatedWaveIn::Stream final : public WaveInStream {
public:
    Stream(SimulatedWaveIn& owner, const WaveFormat& format, WaveInProc proc, void* instance)
        : m_owner(owner), m_format(format), m_proc(proc), m_instance(instance) {}

    ~Stream() override {
        StopFeeder();
        std::lock_guard lock(m_owner.m_mutex);
        if (m_owner.m_current == this)
            m_owner.m_current = nullptr;
        if (m_open)
            m_owner.m_openStreams.fetch_sub(1);
    }

    uint32_t Close() override {
        if (m_queue.Size() > 0)
            return WAVERR_STILLPLAYING;
        StopFeeder();
        int delay;
        {
            std::lock_guard lock(m_owner.m_mutex);
            delay = m_owner.m_closeDelayMs;
        }
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        std::lock_guard lock(m_owner.m_mutex);
        if (m_owner.m_current == this)
            m_owner.m_current = nullptr;
        m_open = false;
        m_owner.m_openStreams.fetch_sub(1);
        m_owner.m_closes.fetch_add(1);
        return MMSYSERR_NOERROR;
    }

    uint32_t Prepare(WaveHeader* header) override { return PrepareHeader(header); }

    uint32_t AddBuffer(WaveHeader* header) override {
        if (const uint32_t refused = CheckQueueable(header); refused != MMSYSERR_NOERROR)
            return refused;
        std::lock_guard lock(m_owner.m_mutex);
        if (!m_queue.Push(header))
            return MMSYSERR_NOMEM;
        m_bufferBytes = header->dwBufferLength;
        return MMSYSERR_NOERROR;
    }

    uint32_t Start() override {
        std::unique_lock lock(m_owner.m_mutex);
        if (m_started)
            return MMSYSERR_NOERROR;
        m_started = true;
        if (m_owner.m_deliverOnStart > 0)
            m_owner.FillLocked(m_owner.m_deliverOnStart);
        if (m_owner.m_pace == Pace::Paced) {
            m_feederStop = false;
            m_feeder = std::thread([this] { Feed(); });
        }
        return MMSYSERR_NOERROR;
    }

    uint32_t Stop() override {
        StopFeeder();
        std::lock_guard lock(m_owner.m_mutex);
        m_started = false;
        m_queue.CompletePartial(&Stream::Notify, this);
        return MMSYSERR_NOERROR;
    }

    uint32_t Reset() override {
        StopFeeder();
        std::lock_guard lock(m_owner.m_mutex);
        m_started = false;
        m_queue.CompleteAll(&Stream::Notify, this);
        m_owner.m_resets.fetch_add(1);
        return MMSYSERR_NOERROR;
    }

    // With the owner's mutex held.
    bool DeliverOne(std::vector<int16_t>& scratch) {
        if (!m_started)
            return false;
        const uint32_t room = m_queue.HeadRoom();
        const size_t n = (room != 0 ? room : m_bufferBytes) / sizeof(int16_t);
        scratch.resize(n);
        if (m_owner.m_source)
            m_owner.m_source->Fill(scratch.data(), n);
        else
            std::fill(scratch.begin(), scratch.end(), int16_t{0});
        if (room == 0)
            return false; // no buffer queued: this audio is lost
        m_queue.Fill(scratch.data(), n, &Stream::Notify, this);
        return true;
    }

    bool m_open = true;
    bool m_started = false;

private:
    static void Notify(void* self, uint32_t message, WaveHeader* header) noexcept {
        auto* s = static_cast<Stream*>(self);
        if (s->m_proc != nullptr)
            s->m_proc(s->m_instance, message, header);
    }

    void StopFeeder() {
        {
            std::lock_guard lock(m_owner.m_mutex);
            m_feederStop = true;
        }
        m_wake.notify_all();
        if (m_feeder.joinable())
            m_feeder.join();
    }

    void Feed() {
        using Clock = std::chrono::steady_clock;
        std::vector<int16_t> chunk;
        std::unique_lock lock(m_owner.m_mutex);
        const int n = m_owner.m_chunk > 0 ? m_owner.m_chunk : 128;
        const double speed = m_owner.m_speed > 0.0 ? m_owner.m_speed : 1.0;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(n / (m_format.nSamplesPerSec * speed)));
        auto next = Clock::now() + period;
        chunk.resize(static_cast<size_t>(n));
        while (!m_feederStop) {
            if (m_wake.wait_until(lock, next, [this] { return m_feederStop; }))
                break;
            next += period;
            if (m_owner.m_stalled || m_owner.m_dead || !m_started)
                continue;
            if (m_owner.m_source)
                m_owner.m_source->Fill(chunk.data(), chunk.size());
            const size_t stored = m_queue.Fill(chunk.data(), chunk.size(), &Stream::Notify, this);
            if (stored < chunk.size() && m_bufferBytes > 0)
                m_lostSamples += chunk.size() - stored;
            while (m_bufferBytes > 0 && m_lostSamples >= m_bufferBytes / sizeof(int16_t)) {
                m_lostSamples -= m_bufferBytes / sizeof(int16_t);
                m_owner.m_dropped.fetch_add(1);
            }
        }
    }

    SimulatedWaveIn& m_owner;
    WaveFormat m_format;
    WaveInProc m_proc;
    void* m_instance;
    WaveBufferQueue m_queue;
    uint32_t m_bufferBytes = 0;
    size_t m_lostSamples = 0;
    std::thread m_feeder;
    std::condition_variable m_wake;
    bool m_feederStop = false;

    friend class SimulatedWaveIn;
};

SimulatedWaveIn::SimulatedWaveIn() = default;
SimulatedWaveIn::~SimulatedWaveIn() = default;

void SimulatedWaveIn::SetDeviceCount(int n) {
    std::lock_guard lock(m_mutex);
    m_nDevices = n;
}
void SimulatedWaveIn::SetDeviceNames(std::vector<std::string> names) {
    std::lock_guard lock(m_mutex);
    m_nDevices = static_cast<int>(names.size());
    m_names = std::move(names);
}
void SimulatedWaveIn::SetSource(std::shared_ptr<SignalSource> source) {
    std::lock_guard lock(m_mutex);
    m_source = std::move(source);
}
void SimulatedWaveIn::SetPace(Pace pace, double speed, int chunkSamples) {
    std::lock_guard lock(m_mutex);
    m_pace = pace;
    m_speed = speed;
    m_chunk = chunkSamples;
}
void SimulatedWaveIn::RefuseRate(int rate) {
    std::lock_guard lock(m_mutex);
    m_refusedRates.insert(rate);
}
void SimulatedWaveIn::RefuseAllFormats(bool refuse) {
    std::lock_guard lock(m_mutex);
    m_refuseAll = refuse;
}
void SimulatedWaveIn::FailOpen(uint32_t deviceId) {
    std::lock_guard lock(m_mutex);
    m_failedIds.insert(deviceId);
}
void SimulatedWaveIn::FailAllOpens(bool fail) {
    std::lock_guard lock(m_mutex);
    m_failAll = fail;
}
void SimulatedWaveIn::SetDeliverOnStart(int buffers) {
    std::lock_guard lock(m_mutex);
    m_deliverOnStart = buffers;
}
void SimulatedWaveIn::SetCloseDelay(int milliseconds) {
    std::lock_guard lock(m_mutex);
    m_closeDelayMs = milliseconds;
}
void SimulatedWaveIn::Stall(bool stalled) {
    std::lock_guard lock(m_mutex);
    m_stalled = stalled;
}
void SimulatedWaveIn::StopDelivering() {
    std::lock_guard lock(m_mutex);
    m_dead = true;
}

int SimulatedWaveIn::Deliver(int buffers) {
    std::lock_guard lock(m_mutex);
    return FillLocked(buffers);
}

int SimulatedWaveIn::FillLocked(int buffers) {
    if (m_dead || m_stalled || m_current == nullptr)
        return 0;
    std::vector<int16_t> scratch;
    int filled = 0;
    for (int i = 0; i < buffers; ++i) {
        if (m_current->DeliverOne(scratch))
            ++filled;
        else if (m_current->m_started)
            m_dropped.fetch_add(1);
    }
    return filled;
}

std::vector<SimulatedWaveIn::OpenCall> SimulatedWaveIn::Opens() const {
    std::lock_guard lock(m_mutex);
    return m_opens;
}

int SimulatedWaveIn::GetNumDevs() {
    std::lock_guard lock(m_mutex);
    return m_nDevices;
}

std::vector<std::string> SimulatedWaveIn::DeviceNames() {
    std::lock_guard lock(m_mutex);
    return m_names;
}

uint32_t SimulatedWaveIn::Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                               const WaveFormat& format, WaveInProc proc, void* instance) {
    std::unique_lock lock(m_mutex);
    uint32_t result = MMSYSERR_NOERROR;
    if (m_failAll)
        result = MMSYSERR_NODRIVER;
    else if (m_nDevices <= 0 ||
             (deviceId != WAVE_MAPPER && deviceId >= static_cast<uint32_t>(m_nDevices)) ||
             m_failedIds.count(deviceId) != 0)
        result = MMSYSERR_BADDEVICEID;
    else if (m_refuseAll || format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
             format.nChannels != 1 ||
             m_refusedRates.count(static_cast<int>(format.nSamplesPerSec)) != 0)
        result = WAVERR_BADFORMAT;
    m_opens.push_back({deviceId, format, result});
    if (result != MMSYSERR_NOERROR)
        return result;
    auto s = std::make_unique<Stream>(*this, format, proc, instance);
    m_current = s.get();
    m_openStreams.fetch_add(1);
    lock.unlock();
    if (proc != nullptr)
        proc(instance, WIM_OPEN, nullptr);
    stream = std::move(s);
    return MMSYSERR_NOERROR;
}
