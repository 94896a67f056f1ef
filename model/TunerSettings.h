#pragma once
// Everything the tuner remembers between runs, and its settings file state.txt.
//
// Threads: all reads and writes happen on the window thread except that the frame update on the
// capture thread reads keyIndex and the colours. Every scalar field is a lock-free std::atomic
// of one 32-bit value accessed with relaxed order: the fields are independent, a reader only
// needs to see either the old or the new value whole.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/Notes.h"
#include "model/SideSettings.h"
#include "model/Tunings.h"

// Colours are 24-bit values packed 0x00BBGGRR (red in the low byte, bits 24..31 zero).
constexpr uint32_t kMaxColor = 0xFFFFFF;
constexpr uint32_t kDefaultNeedleColor = 0xA00000;     // red 0, green 0, blue 160
constexpr uint32_t kDefaultHighEnergyColor = 0xFF0000; // blue 255
constexpr uint32_t kDefaultLowEnergyColor = 0x008000;  // green 128
constexpr uint32_t kDefaultTextColor = 0xFF0000;       // blue 255

struct ColorScheme {
    uint32_t needleColor = kDefaultNeedleColor;
    uint32_t highEnergyColor = kDefaultHighEnergyColor;
    uint32_t lowEnergyColor = kDefaultLowEnergyColor;
    uint32_t textColor = kDefaultTextColor;
    bool operator==(const ColorScheme&) const = default;
};

// Device choices are list indexes: 0 = the system's preferred device, k >= 1 = system device
// k - 1, kNoDevice = no selection (a Devices page combo without a selection).
constexpr int32_t kNoDevice = -1;
constexpr float kDefaultAnalysisHop = 128.0f; // samples

inline constexpr const char* kStateFileName = "state.txt";
inline constexpr const char* kStateFileHeader = "USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!";
// A real state file is a few kilobytes; past this size (a damaged file, or a name linked to an
// endless device) it is refused rather than read into memory whole.
inline constexpr std::size_t kMaxStateFileBytes = std::size_t{16} << 20;

// Why ReadStateFile returned false.
struct StateFileProblem {
    enum class Kind {
        Missing,    // no state file: the first start
        NotOpened,  // not permitted, or not a regular file (a directory, FIFO, device)
        Unreadable, // it opened, but could not be read or does not hold the format
    } kind = Kind::Missing;
    std::string why; // a few words, e.g. "line 3 is not in the tuner's format"
};

// Side-file key of the chosen recording device's name.
inline constexpr const char* kRecordingDeviceNameKey = "recordingDevice.name";
// Side-file key of what the fine-tuning gauge shows: "needle" (also when absent) or "strobe".
inline constexpr const char* kFineGaugeKey = "fineTuningGauge";

class TunerSettings {
public:
    TunerSettings(); // defaults, no tunings
    TunerSettings(const TunerSettings& other);
    TunerSettings& operator=(const TunerSettings& other);

    // Fills the settings from the file. False when the file cannot be opened or holds anything
    // the format does not allow; the other fields are then left as they were and the tuning
    // list is empty (the caller applies the defaults). On success the tuning list is replaced.
    // Only a regular file is opened, never blocking. `problem`, when given, says what failed.
    bool ReadStateFile(const std::string& path, StateFileProblem* problem = nullptr);
    // Writes the whole object. The new text goes to a file beside the one `path` names that
    // replaces it only once it is completely written and flushed, so a failed write never
    // damages the old file; anything but a regular file (a directory, a device, a link to one)
    // is never replaced. False when anything fails, with `why` saying what.
    bool WriteStateFile(const std::string& path, std::string* why = nullptr);
    // concertA 440.0, keyIndex 0, the four default colours, devices 0, analysisHop 128.0.
    // The tuning list is not touched.
    void ApplyDefaults();

    // The same reader and writer on text in memory (file bytes, "\n" line ends). `why`, when
    // given, says where the text fails.
    bool ReadStateText(std::string_view text, std::string* why = nullptr);
    std::string WriteStateText();

    ColorScheme GetColors() const;
    void SetColors(const ColorScheme& colors);
    uint32_t GetNeedleColor() const { return needleColor.load(std::memory_order_relaxed); }
    void SetNeedleColor(uint32_t c) { needleColor.store(c, std::memory_order_relaxed); }
    uint32_t GetHighEnergyColor() const { return highEnergyColor.load(std::memory_order_relaxed); }
    void SetHighEnergyColor(uint32_t c) { highEnergyColor.store(c, std::memory_order_relaxed); }
    uint32_t GetLowEnergyColor() const { return lowEnergyColor.load(std::memory_order_relaxed); }
    void SetLowEnergyColor(uint32_t c) { lowEnergyColor.store(c, std::memory_order_relaxed); }
    uint32_t GetTextColor() const { return textColor.load(std::memory_order_relaxed); }
    void SetTextColor(uint32_t c) { textColor.store(c, std::memory_order_relaxed); }

    // Instrument key 0..11 (a stored value outside that reads back as 0).
    int32_t GetKeyIndex() const { return keyIndex.load(std::memory_order_relaxed); }
    void SetKeyIndex(int32_t k) { keyIndex.store(k, std::memory_order_relaxed); }
    // Hertz, 430.0..450.0.
    float GetConcertA() const { return concertA.load(std::memory_order_relaxed); }
    void SetConcertA(float hz) { concertA.store(hz, std::memory_order_relaxed); }
    // List indexes as described at kNoDevice.
    int32_t GetMidiDevice() const { return midiDevice.load(std::memory_order_relaxed); }
    void SetMidiDevice(int32_t d) { midiDevice.store(d, std::memory_order_relaxed); }
    int32_t GetRecordingDevice() const { return recordingDevice.load(std::memory_order_relaxed); }
    void SetRecordingDevice(int32_t d) { recordingDevice.store(d, std::memory_order_relaxed); }
    // Samples between analysis frames, a whole number.
    float GetAnalysisHop() const { return analysisHop.load(std::memory_order_relaxed); }
    void SetAnalysisHop(float hop) { analysisHop.store(hop, std::memory_order_relaxed); }

    // The chosen recording device's name, by which a choice survives devices coming and going;
    // "" for the preferred device or when not known. Kept in `extra`.
    std::string GetRecordingDeviceName() const { return extra.Get(kRecordingDeviceNameKey); }
    void SetRecordingDeviceName(const std::string& name) {
        extra.Set(kRecordingDeviceNameKey, name);
    }

    // The fine-tuning gauge shows the strobe rather than the needle. Kept in `extra`.
    bool GetStrobeView() const { return extra.Get(kFineGaugeKey) == "strobe"; }
    void SetStrobeView(bool on) { extra.Set(kFineGaugeKey, on ? "strobe" : "needle"); }

    TuningList tunings;
    // What the side file (kSideSettingsFileName) holds; read and written by the window.
    SideSettings extra;

private:
    std::atomic<uint32_t> needleColor;
    std::atomic<uint32_t> highEnergyColor;
    std::atomic<uint32_t> lowEnergyColor;
    std::atomic<uint32_t> textColor;
    std::atomic<int32_t> keyIndex;
    std::atomic<float> concertA;
    std::atomic<int32_t> midiDevice;
    std::atomic<int32_t> recordingDevice;
    std::atomic<float> analysisHop;

    static_assert(std::atomic<uint32_t>::is_always_lock_free);
    static_assert(std::atomic<int32_t>::is_always_lock_free);
    static_assert(std::atomic<float>::is_always_lock_free);
};
