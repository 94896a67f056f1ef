#include "capture/PulseWaveIn.h"

#include "capture/RecordingDevices.h"
#include "capture/RecordingStart.h"
#include "capture/WaveBufferQueue.h"
#include "capture/WaveInService.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// The server converts whatever a source records into the rate, sample size and channel count a
// client asks for, so every cell of the Devices page's table can be recorded.
constexpr uint32_t kServerFormats = 0xFFF;
// A stream that is not recording within this counts as a device that cannot be opened.
constexpr int kOpenWaitMs = 2000;

std::atomic<void (*)(bool)> g_probe{nullptr};

struct Source {
    uint32_t index = 0; // the server's, which orders the list
    bool monitor = false;
    std::string name;
    std::string description;
    uint16_t channels = 0;
};

class PulseStream;

// Holds the loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

// One connection to the server, served by the threaded main loop's own thread. Every libpulse
// object is used with the loop's lock held; the loop runs its callbacks with the lock held.
class PulseClient {
public:
    ~PulseClient();
    // False when the server does not answer, with its device list, within `timeoutMs`.
    bool Connect(int timeoutMs);

    pa_threaded_mainloop* Loop() const { return m_loop; }
    // Any thread. Inputs in the server's order, then monitors.
    std::vector<Source> Sources() const;
    std::string DefaultSource() const;

    // --- loop lock held ---
    pa_context* Context() const { return m_context; }
    bool IsReady() const { return pa_context_get_state(m_context) == PA_CONTEXT_READY; }
    // Waits, letting go of the lock meanwhile, until `done()` or `ms` have passed; `done()`.
    template <class Done> bool Wait(Done done, int ms);
    void Register(PulseStream* stream) { m_streams.push_back(stream); }
    void Unregister(PulseStream* stream) { std::erase(m_streams, stream); }

private:
    static void OnContextState(pa_context* context, void* self);
    static void OnEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                        void* self);
    static void OnServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void OnSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
    void Refresh();
    void Publish(std::vector<Source> sources);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_bLoopRunning = false;

    // Loop lock.
    bool m_bListing = false;   // a list request is on its way
    bool m_bListAgain = false; // the devices changed meanwhile: ask again when it is answered
    bool m_bHaveList = false;
    bool m_bHaveServerInfo = false;
    std::vector<Source> m_listing;
    std::vector<PulseStream*> m_streams;

    // What other threads read, under m_listLock (taken inside the loop lock, never around it).
    mutable std::mutex m_listLock;
    std::vector<Source> m_sources;
    std::string m_strDefault;
};

class PulseStream final : public WaveInStream {
public:
    PulseStream(std::shared_ptr<PulseClient> client, std::string source, uint32_t rate,
                WaveInProc proc, void* instance)
        : m_client(std::move(client)), m_source(std::move(source)), m_proc(proc),
          m_instance(instance) {
        m_spec.format = PA_SAMPLE_S16LE;
        m_spec.rate = rate;
        m_spec.channels = 1;
    }

    ~PulseStream() override {
        LoopLock lock(m_client->Loop());
        m_client->Unregister(this);
        DropLocked();
    }

    // --- loop lock held ---
    // A new server stream for the source; false when libpulse refuses it at once.
    bool ConnectLocked() {
        DropLocked();
        m_stream = pa_stream_new(m_client->Context(), "Tuner input", &m_spec, nullptr);
        if (m_stream == nullptr)
            return false;
        pa_stream_set_state_callback(m_stream, &PulseStream::OnState, this);
        pa_stream_set_read_callback(m_stream, &PulseStream::OnRead, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        // The server hands audio over a capture block at a time, so that it reaches the capture
        // thread as soon as PortAudio's would.
        attr.fragsize = static_cast<uint32_t>(CaptureBlockLength(static_cast<int>(m_spec.rate)) *
                                              pa_frame_size(&m_spec));
        int flags = PA_STREAM_ADJUST_LATENCY;
        if (!m_bStarted)
            flags |= PA_STREAM_START_CORKED;
        // A chosen source that goes away ends the stream rather than letting the server move it
        // to another microphone: the tuner then hears nothing (and says so) until it is back.
        // A recording from the preferred device is left to the server, which moves it along
        // when the default source changes.
        if (!m_source.empty())
            flags |= PA_STREAM_DONT_MOVE;
        if (pa_stream_connect_record(m_stream, m_source.empty() ? nullptr : m_source.c_str(), &attr,
                                     static_cast<pa_stream_flags_t>(flags)) < 0) {
            DropLocked();
            return false;
        }
        return true;
    }

    pa_stream_state_t StateLocked() const {
        return m_stream != nullptr ? pa_stream_get_state(m_stream) : PA_STREAM_FAILED;
    }

    // The server's device list changed: a stream the server ended (its source unplugged)
    // starts again once its source, or for the preferred device any source, is there.
    void SourcesChangedLocked(const std::vector<Source>& sources) {
        if (PA_STREAM_IS_GOOD(StateLocked()) || sources.empty())
            return;
        if (!m_source.empty() && std::none_of(sources.begin(), sources.end(),
                                              [&](const Source& s) { return s.name == m_source; }))
            return;
        ConnectLocked();
    }

    void DropLocked() {
        if (m_stream == nullptr)
            return;
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    // --- WaveInStream (capture thread) ---
    uint32_t Close() override {
        if (m_queue.Size() > 0)
            return WAVERR_STILLPLAYING;
        LoopLock lock(m_client->Loop());
        m_client->Unregister(this);
        DropLocked();
        return MMSYSERR_NOERROR;
    }

    uint32_t Prepare(WaveHeader* header) override { return PrepareHeader(header); }

    uint32_t AddBuffer(WaveHeader* header) override { return m_queue.Add(header); }

    uint32_t Start() override {
        LoopLock lock(m_client->Loop());
        m_bStarted = true;
        Cork(false);
        return MMSYSERR_NOERROR;
    }

    uint32_t Stop() override {
        Halt();
        // The read callback no longer touches the buffers: this thread may act for it now.
        m_queue.CompletePartial(m_proc, m_instance);
        return MMSYSERR_NOERROR;
    }

    uint32_t Reset() override {
        Halt();
        m_queue.CompleteAll(m_proc, m_instance);
        return MMSYSERR_NOERROR;
    }

private:
    void Halt() {
        LoopLock lock(m_client->Loop());
        m_bStarted = false;
        Cork(true);
    }

    void Cork(bool cork) {
        if (StateLocked() == PA_STREAM_READY) {
            if (pa_operation* op = pa_stream_cork(m_stream, cork ? 1 : 0, nullptr, nullptr))
                pa_operation_unref(op);
        }
    }

    // Loop thread, loop lock held: copies what the server delivered into the queued buffers,
    // handing back each full one. Nothing else: no allocation, no lock, no wait of its own.
    static void OnRead(pa_stream* stream, size_t, void* self) {
        void (*const probe)(bool) = g_probe.load(std::memory_order_relaxed);
        if (probe != nullptr)
            probe(true);
        auto* s = static_cast<PulseStream*>(self);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            // No data at a hole in the stream: that much silence.
            if (s->m_bStarted)
                s->m_queue.Fill(static_cast<const int16_t*>(data), bytes / sizeof(int16_t),
                                s->m_proc, s->m_instance);
            pa_stream_drop(stream);
        }
        if (probe != nullptr)
            probe(false);
    }

    static void OnState(pa_stream*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseStream*>(self)->m_client->Loop(), 0);
    }

    const std::shared_ptr<PulseClient> m_client;
    const std::string m_source; // "" = the server's default source
    pa_sample_spec m_spec{};
    const WaveInProc m_proc;
    void* const m_instance;
    // Loop lock.
    pa_stream* m_stream = nullptr;
    bool m_bStarted = false; // between Start and Stop or Reset: samples go into the buffers
    WaveBufferQueue m_queue; // filled on the loop thread, refilled by the capture thread
};

// --- PulseClient ---------------------------------------------------------------------------

PulseClient::~PulseClient() {
    if (m_context != nullptr) {
        if (m_bLoopRunning)
            pa_threaded_mainloop_lock(m_loop);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        if (m_bLoopRunning)
            pa_threaded_mainloop_unlock(m_loop);
    }
    if (m_loop != nullptr) {
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
}

template <class Done> bool PulseClient::Wait(Done done, int ms) {
    if (done() || ms <= 0)
        return done();
    // pa_threaded_mainloop_wait has no time-out: a timer on the loop wakes it instead.
    struct Timer {
        pa_threaded_mainloop* loop;
        bool fired = false;
    } timer{m_loop};
    const auto fire = [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
        auto* t = static_cast<Timer*>(data);
        t->fired = true;
        pa_threaded_mainloop_signal(t->loop, 0);
    };
    pa_time_event* event = pa_context_rttime_new(
        m_context, pa_rtclock_now() + static_cast<pa_usec_t>(ms) * 1000, fire, &timer);
    if (event == nullptr)
        return done();
    while (!done() && !timer.fired)
        pa_threaded_mainloop_wait(m_loop);
    pa_threaded_mainloop_get_api(m_loop)->time_free(event);
    return done();
}

bool PulseClient::Connect(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [deadline] {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    };
    m_loop = pa_threaded_mainloop_new();
    if (m_loop == nullptr)
        return false;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tarvo Instrument Tuner");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "tarvo-tuner");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "tarvo-tuner");
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop),
                                             "Tarvo Instrument Tuner", props);
    pa_proplist_free(props);
    if (m_context == nullptr)
        return false;
    pa_context_set_state_callback(m_context, &PulseClient::OnContextState, this);
    pa_context_set_subscribe_callback(m_context, &PulseClient::OnEvent, this);
    // Only a server that runs: a client may otherwise start one.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_loop) < 0)
        return false;
    m_bLoopRunning = true;

    LoopLock lock(m_loop);
    Wait([this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) || IsReady(); },
         left());
    if (!IsReady())
        return false;
    if (pa_operation* op =
            pa_context_subscribe(m_context,
                                 static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                                     PA_SUBSCRIPTION_MASK_SERVER),
                                 nullptr, nullptr))
        pa_operation_unref(op);
    Refresh();
    return Wait([this] { return !IsReady() || (m_bHaveList && m_bHaveServerInfo); }, left()) &&
           IsReady();
}

std::vector<Source> PulseClient::Sources() const {
    std::lock_guard lock(m_listLock);
    return m_sources;
}

std::string PulseClient::DefaultSource() const {
    std::lock_guard lock(m_listLock);
    return m_strDefault;
}

void PulseClient::OnContextState(pa_context* context, void* self) {
    auto* c = static_cast<PulseClient*>(self);
    // A server gone for good takes its devices with it.
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        std::lock_guard lock(c->m_listLock);
        c->m_sources.clear();
        c->m_strDefault.clear();
    }
    pa_threaded_mainloop_signal(c->m_loop, 0);
}

void PulseClient::OnEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE || facility == PA_SUBSCRIPTION_EVENT_SERVER)
        static_cast<PulseClient*>(self)->Refresh();
}

void PulseClient::Refresh() {
    // A volume slider sends a stream of change events: one request at a time, and one more
    // after it when anything changed meanwhile.
    if (m_bListing) {
        m_bListAgain = true;
        return;
    }
    m_listing.clear();
    if (pa_operation* op = pa_context_get_source_info_list(m_context, &OnSourceInfo, this)) {
        m_bListing = true;
        pa_operation_unref(op);
    }
    if (pa_operation* op = pa_context_get_server_info(m_context, &OnServerInfo, this))
        pa_operation_unref(op);
}

void PulseClient::OnServerInfo(pa_context*, const pa_server_info* info, void* self) {
    auto* c = static_cast<PulseClient*>(self);
    if (info != nullptr) {
        std::lock_guard lock(c->m_listLock);
        c->m_strDefault = info->default_source_name ? info->default_source_name : "";
    }
    c->m_bHaveServerInfo = true;
    pa_threaded_mainloop_signal(c->m_loop, 0);
}

void PulseClient::OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* c = static_cast<PulseClient*>(self);
    if (eol == 0 && info != nullptr) {
        Source s;
        s.index = info->index;
        s.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
        s.name = info->name ? info->name : "";
        s.description = info->description ? info->description : s.name;
        s.channels = info->sample_spec.channels;
        c->m_listing.push_back(std::move(s));
        return;
    }
    c->m_bListing = false;
    if (eol > 0)
        c->Publish(std::move(c->m_listing));
    if (c->m_bListAgain) {
        c->m_bListAgain = false;
        c->Refresh();
    }
    pa_threaded_mainloop_signal(c->m_loop, 0);
}

void PulseClient::Publish(std::vector<Source> sources) {
    // Inputs first: the microphones and interfaces a musician records from, whose places then
    // do not move when an output comes or goes. The monitors of the outputs (what the desktop
    // plays) follow.
    std::stable_sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
        return a.monitor != b.monitor ? b.monitor : a.index < b.index;
    });
    {
        std::lock_guard lock(m_listLock);
        m_sources = sources;
    }
    m_bHaveList = true;
    for (PulseStream* stream : m_streams)
        stream->SourcesChangedLocked(sources);
}

// --- the service ---------------------------------------------------------------------------

class PulseWaveIn final : public WaveInService, public RecordingDeviceList {
public:
    explicit PulseWaveIn(std::shared_ptr<PulseClient> client) : m_client(std::move(client)) {}

    int GetNumDevs() override { return static_cast<int>(m_client->Sources().size()); }

    uint32_t Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                  const WaveFormat& format, WaveInProc proc, void* instance) override {
        if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
            format.nChannels != 1 || format.nSamplesPerSec == 0 ||
            format.nSamplesPerSec > PA_RATE_MAX)
            return WAVERR_BADFORMAT;
        std::string source;
        if (deviceId != WAVE_MAPPER) {
            const std::vector<Source> sources = m_client->Sources();
            if (deviceId >= sources.size())
                return MMSYSERR_BADDEVICEID;
            source = sources[deviceId].name;
        }
        auto s =
            std::make_unique<PulseStream>(m_client, source, format.nSamplesPerSec, proc, instance);
        {
            LoopLock lock(m_client->Loop());
            if (!m_client->IsReady())
                return MMSYSERR_NODRIVER;
            if (!s->ConnectLocked())
                return MMSYSERR_ERROR;
            m_client->Wait([&] { return s->StateLocked() != PA_STREAM_CREATING; }, kOpenWaitMs);
            if (s->StateLocked() != PA_STREAM_READY)
                return MMSYSERR_ERROR; // the stream goes with `s`
            m_client->Register(s.get());
        }
        if (proc != nullptr)
            proc(instance, WIM_OPEN, nullptr);
        stream = std::move(s);
        return MMSYSERR_NOERROR;
    }

    std::vector<std::string> DeviceNames() override {
        std::vector<std::string> names;
        for (const Source& s : m_client->Sources())
            names.push_back(s.name);
        return names;
    }

    RecordingDeviceList* DeviceList() override { return this; }

    std::vector<RecordingDeviceInfo> RecordingDevices() override {
        std::vector<RecordingDeviceInfo> devices;
        for (const Source& s : m_client->Sources())
            devices.push_back(Info(s));
        return devices;
    }

    bool PreferredRecordingDevice(RecordingDeviceInfo& info) override {
        const std::string name = m_client->DefaultSource();
        for (const Source& s : m_client->Sources()) {
            if (s.name == name) {
                info = Info(s);
                return true;
            }
        }
        return false;
    }

private:
    static RecordingDeviceInfo Info(const Source& s) {
        return {s.description, s.name, kServerFormats, s.channels};
    }

    std::shared_ptr<PulseClient> m_client;
};

} // namespace

std::shared_ptr<WaveInService> CreatePulseWaveIn(int timeoutMs) {
    auto client = std::make_shared<PulseClient>();
    if (!client->Connect(timeoutMs))
        return nullptr;
    return std::make_shared<PulseWaveIn>(std::move(client));
}

std::shared_ptr<WaveInService> CreateSystemWaveIn() {
    if (auto pulse = CreatePulseWaveIn())
        return pulse;
    return CreatePortAudioWaveIn();
}

void SetPulseReadProbe(void (*probe)(bool entering)) {
    g_probe.store(probe, std::memory_order_relaxed);
}
