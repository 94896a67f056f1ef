#include "capture/RecordingStart.h"

#include "capture/TunerEngine.h"
#include "model/TunerSettings.h"

#include <limits>

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

namespace {

struct Attempt {
    bool savedDevice; // the settings' device, else the default device (0)
    int sampleRate;
    int bufferLength;
    int frameLength;
    float lowestFrequency;
};

constexpr Attempt kAttempts[6] = {
    {true, 11025, 1024, 1024, 20.0f},  {true, 22050, 1024, 1024, 35.0f},
    {true, 44100, 2048, 2048, 35.0f},  {false, 11025, 512, 512, 35.0f},
    {false, 22050, 1024, 1024, 35.0f}, {false, 44100, 2048, 2048, 35.0f},
};

} // namespace

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
    for (const Attempt& a : kAttempts) {
        const int device = a.savedDevice ? recordingDevice : 0;
        if (engine.Start(frameUpdate, window, device, a.sampleRate, a.bufferLength, a.frameLength,
                         a.lowestFrequency)) {
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
