#pragma once
// The wave-in service: the small interface the recording classes sit on, with the result
// codes, message numbers, format record and buffer header they pass around. Three
// implementations: the desktop's sound server (PulseWaveIn.h), PortAudio (PortAudioWaveIn.h)
// and a simulated service for tests (SimulatedWaveIn.h).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RecordingDeviceList;

// Result codes (0 = success); the numbers are the ones the recording logic compares with.
constexpr uint32_t MMSYSERR_NOERROR = 0;
constexpr uint32_t MMSYSERR_ERROR = 1;
constexpr uint32_t MMSYSERR_BADDEVICEID = 2;
constexpr uint32_t MMSYSERR_INVALHANDLE = 5;
constexpr uint32_t MMSYSERR_NODRIVER = 6;
constexpr uint32_t MMSYSERR_NOMEM = 7;
constexpr uint32_t MMSYSERR_INVALPARAM = 11;
constexpr uint32_t WAVERR_BADFORMAT = 32;
constexpr uint32_t WAVERR_STILLPLAYING = 33;
constexpr uint32_t WAVERR_UNPREPARED = 34;

// Device id of the system's preferred (default) recording device.
constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

// Messages to the device callback.
constexpr uint32_t WIM_OPEN = 0x3BE;
constexpr uint32_t WIM_CLOSE = 0x3BF;
constexpr uint32_t WIM_DATA = 0x3C0; // a queued buffer has been filled and handed back

// Buffer header flags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormat {
    uint16_t wFormatTag = WAVE_FORMAT_PCM;
    uint16_t nChannels = 1;
    uint32_t nSamplesPerSec = 11025;
    uint32_t nAvgBytesPerSec = 22050;
    uint16_t nBlockAlign = 2;
    uint16_t wBitsPerSample = 16;
    uint16_t cbSize = 0;
};

// PCM format record for (channels, samples per second, bits per sample).
WaveFormat MakeWaveFormat(int channels, int samplesPerSec, int bitsPerSample);

// One recording buffer as the service sees it. The owner keeps lpData alive while queued.
struct WaveHeader {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0; // bytes
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;
    uint32_t dwLoops = 0;
    WaveHeader* lpNext = nullptr;
    uintptr_t reserved = 0;
};

// Header checks both services make. PrepareHeader marks a header with data as prepared;
// CheckQueueable accepts only a prepared header with data. MMSYSERR_NOERROR or the refusal.
uint32_t PrepareHeader(WaveHeader* header);
uint32_t CheckQueueable(const WaveHeader* header);

// Called on the service's audio thread (WIM_DATA) or on the thread calling Reset / Stop.
// Must not block, lock or allocate.
using WaveInProc = void (*)(void* instance, uint32_t message, WaveHeader* header);

// One open recording device. Buffers come back in the order they were added, one WIM_DATA per
// buffer; Reset hands every queued buffer back marked done.
class WaveInStream {
public:
    virtual ~WaveInStream() = default;
    virtual uint32_t Close() = 0; // WAVERR_STILLPLAYING while buffers are still queued
    virtual uint32_t Prepare(WaveHeader* header) = 0;
    virtual uint32_t AddBuffer(WaveHeader* header) = 0;
    virtual uint32_t Start() = 0;
    virtual uint32_t Stop() = 0;  // the partly filled buffer, if any, is handed back
    virtual uint32_t Reset() = 0; // stop and hand back every queued buffer
};

class WaveInService {
public:
    virtual ~WaveInService() = default;
    // Number of recording devices (not counting the default-device mapper).
    virtual int GetNumDevs() = 0;
    // deviceId: WAVE_MAPPER or 0..GetNumDevs()-1. On success `stream` holds the open device.
    virtual uint32_t Open(std::unique_ptr<WaveInStream>& stream, uint32_t deviceId,
                          const WaveFormat& format, WaveInProc proc, void* instance) = 0;
    // The names a device choice is remembered by, in device-number order; empty when the
    // service cannot tell.
    virtual std::vector<std::string> DeviceNames() { return {}; }
    // The devices as the Devices page lists them; null when the service has no list of its own
    // (the page then lists PortAudio's devices). Lives as long as the service.
    virtual RecordingDeviceList* DeviceList() { return nullptr; }
};

// PortAudio input streams, 16-bit mono, callback mode.
std::shared_ptr<WaveInService> CreatePortAudioWaveIn();
// The service the program uses: the desktop's sound server when one answers (PulseWaveIn.h),
// else PortAudio, so bare ALSA and JACK machines record as before.
std::shared_ptr<WaveInService> CreateSystemWaveIn();
