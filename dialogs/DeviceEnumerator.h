#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class RecordingDeviceList;

// Recording format bits: rate family x sample size x channels, as the recording capability set
// names them (11.025, 22.05 and 44.1 kHz families).
namespace WaveFormat {
constexpr uint32_t k1M08 = 0x001; // 11.025 kHz, 8-bit, mono
constexpr uint32_t k1S08 = 0x002; // 11.025 kHz, 8-bit, stereo
constexpr uint32_t k1M16 = 0x004; // 11.025 kHz, 16-bit, mono
constexpr uint32_t k1S16 = 0x008; // 11.025 kHz, 16-bit, stereo
constexpr uint32_t k2M08 = 0x010;
constexpr uint32_t k2S08 = 0x020;
constexpr uint32_t k2M16 = 0x040;
constexpr uint32_t k2S16 = 0x080;
constexpr uint32_t k4M08 = 0x100;
constexpr uint32_t k4S08 = 0x200;
constexpr uint32_t k4M16 = 0x400;
constexpr uint32_t k4S16 = 0x800;
} // namespace WaveFormat

// MIDI output technology codes.
namespace MidiTechnology {
constexpr int kMidiPort = 1; // hardware port
constexpr int kSynth = 2;    // synthesizer
constexpr int kSquareWave = 3;
constexpr int kFmSynth = 4;
constexpr int kMapper = 5;
} // namespace MidiTechnology

struct WaveInCaps {
    std::string name;
    uint32_t formats = 0; // WaveFormat bits
    std::optional<uint16_t> channels;
    std::optional<uint32_t> driverVersion; // major in bits 8..15, minor in bits 0..7
};

struct MidiOutCaps {
    std::string name;
    int technology = 0; // MidiTechnology code, 0 when none fits
    uint16_t voices = 0;
    uint16_t notes = 0;
    std::optional<uint32_t> driverVersion;
};

// The audio services' device lists. Device numbers count from 0 in system order; -1 asks for
// the default device of that family.
class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;

    virtual int WaveInCount() = 0;
    virtual bool GetWaveInCaps(int device, WaveInCaps& caps) = 0;
    // The name alone, which may come cheaper than the whole capability record.
    virtual std::string WaveInName(int device) {
        WaveInCaps caps;
        return GetWaveInCaps(device, caps) ? caps.name : std::string();
    }
    // The name the choice of this device is remembered by: the recording service's own.
    virtual std::string WaveInKey(int device) { return WaveInName(device); }
    virtual int MidiOutCount() = 0;
    virtual bool GetMidiOutCaps(int device, MidiOutCaps& caps) = 0;
};

// Recording devices from `recording`, the list of the service recording start opens them with
// (the sound server's sources), or without one from PortAudio (input-capable devices in
// PortAudio's order); MIDI outputs from the ALSA sequencer's writable ports. Lists are read
// once, when first asked for.
std::unique_ptr<DeviceEnumerator>
MakeSystemDeviceEnumerator(RecordingDeviceList* recording = nullptr);
