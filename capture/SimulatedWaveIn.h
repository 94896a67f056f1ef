#pragma once
// A wave-in service for tests and measurements: delivers the buffers of a given signal (a file
// or a generator) in order, either when the test asks (Deliver) or paced by its own feeder
// thread (real time or faster), and can refuse formats, fail to open, stall, block in a device
// call, or stop delivering for good.

#include "capture/WaveInService.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// An endless or finite stream of 16-bit samples.
class SignalSource {
public:
    virtual ~SignalSource() = default;
    // Writes the next `count` samples (silence once a finite source is used up).
    virtual void Fill(int16_t* dst, size_t count) = 0;
};

// value(i) = i mod period: tells every sample's position in the stream.
class RampSource final : public SignalSource {
public:
    explicit RampSource(int period = 30000) : m_period(period) {}
    void Fill(int16_t* dst, size_t count) override;

private:
    int m_period;
    uint64_t m_pos = 0;
};

// A tone of `harmonics` partials with amplitudes amplitude / k.
class SineSource final : public SignalSource {
public:
    SineSource(double frequency, int sampleRate, double amplitude = 8000.0, int harmonics = 1);
    void Fill(int16_t* dst, size_t count) override;

private:
    double m_step;
    double m_amplitude;
    int m_harmonics;
    double m_phase = 0.0;
};

class SamplesSource final : public SignalSource {
public:
    explicit SamplesSource(std::vector<int16_t> samples, bool loop = false);
    // Raw signed 16-bit little-endian mono; empty when the file cannot be read.
    static std::shared_ptr<SamplesSource> FromRawFile(const std::string& path, bool loop = false);
    void Fill(int16_t* dst, size_t count) override;
    size_t Size() const { return m_samples.size(); }

private:
    std::vector<int16_t> m_samples;
    bool m_loop;
    size_t m_pos = 0;
};

class SimulatedWaveIn final : public WaveInService {
public:
    enum class Pace {
        Manual, // buffers are filled only by Deliver()
        Paced,  // a feeder thread fills at `speed` times real time
    };

    SimulatedWaveIn();
    ~SimulatedWaveIn() override;

    // --- set-up (any time; applies to later opens) ---
    void SetDeviceCount(int n);
    void SetDeviceNames(std::vector<std::string> names); // also sets the device count
    void SetSource(std::shared_ptr<SignalSource> source);
    void SetPace(Pace pace, double speed = 1.0, int chunkSamples = 128);
    void RefuseRate(int rate);            // Open with this rate fails with WAVERR_BADFORMAT
    void RefuseAllFormats(bool refuse);   // every Open fails with WAVERR_BADFORMAT
    void FailOpen(uint32_t deviceId);     // Open of this device id fails (as if unplugged)
    void FailAllOpens(bool fail);         // every Open fails with MMSYSERR_NODRIVER
    void SetDeliverOnStart(int buffers);  // Start fills this many buffers before returning
    void SetCloseDelay(int milliseconds); // Close blocks this long (a hanging driver)

    // --- while running ---
    // Fills the next `buffers` queued buffers now, on the calling thread; a buffer with no
    // queued buffer to go into is lost (counted in DroppedBuffers). Returns buffers filled.
    int Deliver(int buffers);
    void Stall(bool stalled); // the feeder keeps time but delivers nothing while stalled
    void StopDelivering();    // the device goes dead: nothing more is ever delivered

    // --- observations ---
    struct OpenCall {
        uint32_t deviceId;
        WaveFormat format;
        uint32_t result;
    };
    std::vector<OpenCall> Opens() const;
    uint64_t DroppedBuffers() const { return m_dropped.load(); }
    bool IsOpen() const { return m_openStreams.load() > 0; }
    int OpenStreams() const { return m_openStreams.load(); }
    int Closes() const { return m_closes.load(); }
    int Resets() const { return m_resets.load(); }

    // WaveInService
    int GetNumDevs() override;
    std::vector<std::string> DeviceNames() override;
    uint32_t Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                  const WaveFormat& format, WaveInProc proc, void* instance) override;

    class Stream;

private:
    friend class Stream;
    int FillLocked(int buffers);

    mutable std::mutex m_mutex;
    int m_nDevices = 1;
    std::vector<std::string> m_names;
    std::shared_ptr<SignalSource> m_source;
    Pace m_pace = Pace::Manual;
    double m_speed = 1.0;
    int m_chunk = 128;
    std::set<int> m_refusedRates;
    bool m_refuseAll = false;
    std::set<uint32_t> m_failedIds;
    bool m_failAll = false;
    int m_deliverOnStart = 0;
    int m_closeDelayMs = 0;
    bool m_stalled = false;
    bool m_dead = false;

    std::vector<OpenCall> m_opens;
    Stream* m_current = nullptr; // the stream buffers are delivered to
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<int> m_openStreams{0}, m_closes{0}, m_resets{0};
};
