#include "app/SimulatedInput.h"

#include "capture/SimulatedWaveIn.h"
#include "tools/AudioFile.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The rate the recording start tries first.
constexpr int kRecordingRate = 11025;

} // namespace

std::vector<int16_t> ReadSoundFile(const std::string& path, int rate, std::string& error) {
    Recording recording;
    if (!LoadRecording(path, rate, recording, error))
        return {};
    // Already whole numbers within the 16-bit range.
    return std::vector<int16_t>(recording.samples.begin(), recording.samples.end());
}

std::shared_ptr<WaveInService> SimulatedInputFromEnvironment() {
    const char* path = std::getenv(kSimulatedInputVariable);
    if (!path || !*path)
        return nullptr;
    std::string error;
    std::vector<int16_t> samples = ReadSoundFile(path, kRecordingRate, error);
    if (samples.empty())
        std::fprintf(stderr, "tarvo-tuner: %s: %s: %s; recording silence\n",
                     kSimulatedInputVariable, PrintableName(path).c_str(), error.c_str());
    auto service = std::make_shared<SimulatedWaveIn>();
    service->SetDeviceCount(1);
    service->SetSource(std::make_shared<SamplesSource>(std::move(samples), true));
    service->SetPace(SimulatedWaveIn::Pace::Paced, 1.0);
    return service;
}
