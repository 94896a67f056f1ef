#pragma once
// The recording start the main window runs at creation and after a device change: tries the six
// recording configurations (analysis/FramePipeline.h) until one starts, and tells the user when
// none can.

#include <string>

class TunerEngine;
class TunerSettings;
class WaveInService;

// Implemented by the window: a modal warning box, and a line in the error log.
class RecordingReporter {
public:
    virtual ~RecordingReporter() = default;
    virtual void ShowWarning(const std::string& title, const std::string& text) = 0;
    virtual void LogError(const std::string& message) = 0;
};

using FrameUpdateCallback = void (*)(void* data);

// Samples per recording buffer at a rate: 11.6 ms of audio (128 at 11025 Hz, 256 at 22050, 512
// at 44100). With the capture thread's 320 buffers the ring holds 3.7 s at every rate.
int CaptureBlockLength(int sampleRate);

// Returns true when capture runs. Reads recordingDevice, analysisHop and concertA.
bool StartRecording(TunerEngine& engine, const TunerSettings& settings,
                    FrameUpdateCallback frameUpdate, void* window, RecordingReporter& reporter);

// Brings the settings' recording device in line with the service's devices before a start. The
// remembered name wins over the position, which devices plugged in or out may have moved; a
// name no longer listed gives the preferred device (0) and one error-log line, once per name
// (`reported` holds the name last reported), and stays remembered for when the device is back.
// A position without a name (a settings file from before names) remembers the name of the
// device it stands for. Nothing changes when the service cannot name its devices.
void FindRememberedDevice(WaveInService& service, TunerSettings& settings,
                          RecordingReporter& reporter, std::string& reported);

// The same with the three settings given directly.
bool StartRecording(TunerEngine& engine, int recordingDevice, float analysisHop, float concertA,
                    FrameUpdateCallback frameUpdate, void* window, RecordingReporter& reporter);

// Texts shown and logged.
extern const char* const kNoDeviceTitle;
extern const char* const kNoDeviceText;
extern const char* const kNoDeviceLog;
extern const char* const kUnusableDeviceTitle;
extern const char* const kUnusableDeviceText;
extern const char* const kUnusableDeviceLog;
