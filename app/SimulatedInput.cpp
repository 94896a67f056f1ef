#include "app/SimulatedInput.h"

#include "capture/SimulatedWaveIn.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The rate the recording start tries first.
constexpr int kRecordingRate = 11025;

} // namespace

std::vector<int16_t> ReadSoundFile(const std::string& path, int rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> frames(static_cast<size_t>(info.frames) *
                              static_cast<size_t>(std::max(info.channels, 1)));
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    if (read <= 0 || info.channels <= 0)
        return {};

    std::vector<float> mono(static_cast<size_t>(read));
    for (sf_count_t i = 0; i < read; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; ++c)
            sum += frames[static_cast<size_t>(i * info.channels + c)];
        mono[static_cast<size_t>(i)] = sum / static_cast<float>(info.channels);
    }

    if (info.samplerate != rate) {
        const double ratio = static_cast<double>(rate) / info.samplerate;
        std::vector<float> converted(static_cast<size_t>(std::ceil(mono.size() * ratio)) + 16);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = converted.data();
        data.output_frames = static_cast<long>(converted.size());
        data.src_ratio = ratio;
        if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0)
            return {};
        converted.resize(static_cast<size_t>(data.output_frames_gen));
        mono = std::move(converted);
    }

    std::vector<int16_t> samples(mono.size());
    std::transform(mono.begin(), mono.end(), samples.begin(), [](float v) {
        return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
    });
    return samples;
}

std::shared_ptr<WaveInService> SimulatedInputFromEnvironment() {
    const char* path = std::getenv(kSimulatedInputVariable);
    if (!path || !*path)
        return nullptr;
    auto service = std::make_shared<SimulatedWaveIn>();
    service->SetDeviceCount(1);
    service->SetSource(std::make_shared<SamplesSource>(ReadSoundFile(path, kRecordingRate), true));
    service->SetPace(SimulatedWaveIn::Pace::Paced, 1.0);
    return service;
}
