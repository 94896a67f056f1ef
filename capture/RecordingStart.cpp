#include "capture/RecordingStart.h"

#include "analysis/FramePipeline.h"
#include "capture/TunerEngine.h"
#include "capture/WaveInService.h"
#include "model/TunerSettings.h"

#include <algorithm>
#include <limits>
#include <vector>

const char* const kNoDeviceTitle = "Error: No sound card found";
const char* const kNoDeviceText =
    "Tarvo Tuner was unable to find any usable recording device on this computer.  To use this "
    "program a 16-bit sound card must be installed";
const char* const kNoDeviceLog = "Unable to find any recording device";
const char* const kUnusableDeviceTitle = "Error: Unable to use recording device";
const char* const kUnusableDeviceText =
    "Unable to use your sound card. Try a different recording device in the options dialog box "
    "or click the help button in the main window for further help.";
const char* const kUnusableDeviceLog = "Unable to open any recording device";

int CaptureBlockLength(int sampleRate) {
    // 128 samples at 11025 Hz: 11.6 ms whatever the rate, so that audio reaches the capture
    // thread often and a note change is analysed soon after it is recorded.
    const long long samples = static_cast<long long>(sampleRate) * 128 / 11025;
    return samples < 1 ? 1 : samples > 1 << 20 ? 1 << 20 : static_cast<int>(samples);
}

bool StartRecording(TunerEngine& engine, int recordingDevice, float analysisHop, float concertA,
                    FrameUpdateCallback frameUpdate, void* window, RecordingReporter& reporter) {
    if (engine.GetDeviceCount() <= 0) {
        reporter.ShowWarning(kNoDeviceTitle, kNoDeviceText);
        reporter.LogError(kNoDeviceLog);
        return false;
    }
    // The settings hold the hop as a float of any size; the capture start brings it into range.
    const int hop = !(analysisHop >= 0.0f)         ? 0
                    : analysisHop >= 2147483648.0f ? std::numeric_limits<int>::max()
                                                   : static_cast<int>(analysisHop);
    engine.SetHop(hop);
    for (const RecordingConfig& a : kRecordingConfigs) {
        const int device = a.savedDevice ? recordingDevice : 0;
        const FrameConfig& f = a.frame;
        if (engine.Start(frameUpdate, window, device, f.sampleRate,
                         CaptureBlockLength(f.sampleRate), f.frameLength, f.lowest)) {
            engine.SetConcertA(concertA);
            engine.SetTimeCheck(false);
            engine.SetAdaptiveHop(true);
            return true;
        }
    }
    reporter.ShowWarning(kUnusableDeviceTitle, kUnusableDeviceText);
    reporter.LogError(kUnusableDeviceLog);
    return false;
}

bool StartRecording(TunerEngine& engine, const TunerSettings& settings,
                    FrameUpdateCallback frameUpdate, void* window, RecordingReporter& reporter) {
    return StartRecording(engine, settings.GetRecordingDevice(), settings.GetAnalysisHop(),
                          settings.GetConcertA(), frameUpdate, window, reporter);
}

void FindRememberedDevice(WaveInService& service, TunerSettings& settings,
                          RecordingReporter& reporter, std::string& reported) {
    const std::string name = settings.GetRecordingDeviceName();
    const int32_t position = settings.GetRecordingDevice();
    if (name.empty() && position < 1)
        return; // the preferred device, or no choice: nothing to look up
    const std::vector<std::string> names = service.DeviceNames();
    if (names.empty())
        return;
    if (name.empty()) {
        if (static_cast<size_t>(position) <= names.size())
            settings.SetRecordingDeviceName(names[static_cast<size_t>(position) - 1]);
        return;
    }
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
        settings.SetRecordingDevice(static_cast<int32_t>(found - names.begin()) + 1);
        return;
    }
    settings.SetRecordingDevice(0);
    if (reported != name) {
        reporter.LogError("The recording device " + name +
                          " is not present, using the preferred recording device");
        reported = name;
    }
}
