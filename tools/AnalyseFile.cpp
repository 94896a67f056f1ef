#include "tools/AnalyseFile.h"

#include "analysis/PitchAnalyser.h"
#include "analysis/PitchTracker.h"
#include "model/Notes.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <memory>

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

} // namespace

bool LiveConfiguration(int sampleRate, FrameConfig& config) {
    switch (sampleRate) {
    case 11025:
        config = {1024, 11025, 20.0f};
        return true;
    case 22050:
        config = {1024, 22050, 35.0f};
        return true;
    case 44100:
        config = {2048, 44100, 35.0f};
        return true;
    default:
        return false;
    }
}

bool LoadRecording(const std::string& path, int targetRate, Recording& recording,
                   std::string& error) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        error = sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = "no audio channels or no sample rate";
        return false;
    }
    if (info.frames < 0 || info.frames > (sf_count_t{1} << 31) / info.channels) {
        error = "recording too long";
        return false;
    }
    std::vector<float> mono(static_cast<size_t>(info.frames));
    {
        // Read in blocks so a long stereo file needs no interleaved copy of its whole length.
        constexpr sf_count_t kBlock = 8192;
        std::vector<float> block(static_cast<size_t>(kBlock * info.channels));
        sf_count_t done = 0;
        while (done < info.frames) {
            const sf_count_t want = std::min(kBlock, info.frames - done);
            const sf_count_t got = sf_readf_float(file.get(), block.data(), want);
            if (got <= 0) {
                break;
            }
            for (sf_count_t i = 0; i < got; ++i) {
                float sum = 0.0f;
                for (int c = 0; c < info.channels; ++c) {
                    float v = block[static_cast<size_t>(i * info.channels + c)];
                    // A damaged float file can hold NaN or infinite samples. Unchecked, one NaN
                    // blanks every frame that holds it (and, resampled, its neighbours too):
                    // take it as silence, and an infinity as full scale.
                    if (std::isnan(v)) {
                        v = 0.0f;
                    } else if (std::isinf(v)) {
                        v = v > 0.0f ? 1.0f : -1.0f;
                    }
                    sum += v;
                }
                mono[static_cast<size_t>(done + i)] = sum / static_cast<float>(info.channels);
            }
            done += got;
        }
        if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
            error = std::string("read failed: ") + sf_strerror(file.get());
            return false;
        }
        mono.resize(static_cast<size_t>(done));
    }

    recording.fileRate = info.samplerate;
    recording.sampleRate = info.samplerate;
    if (targetRate > 0 && targetRate != info.samplerate && !mono.empty()) {
        const double ratio = static_cast<double>(targetRate) / info.samplerate;
        std::vector<float> out(static_cast<size_t>(std::ceil(mono.size() * ratio)) + 16);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = out.data();
        data.output_frames = static_cast<long>(out.size());
        data.src_ratio = ratio;
        data.end_of_input = 1;
        const int rc = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
        if (rc != 0) {
            error = std::string("resampling failed: ") + src_strerror(rc);
            return false;
        }
        out.resize(static_cast<size_t>(data.output_frames_gen));
        mono.swap(out);
        recording.sampleRate = targetRate;
    } else if (targetRate > 0) {
        recording.sampleRate = targetRate;
    }

    // The capture side delivers 16-bit integers as floats: scale, round and clip alike.
    for (float& s : mono) {
        const float v = std::nearbyint(s * 32768.0f);
        s = std::clamp(v, -32768.0f, 32767.0f);
    }
    recording.samples = std::move(mono);
    return true;
}

bool AnalyseRecording(const Recording& recording, const AnalyseOptions& options,
                      const std::function<void(const FrameReport&)>& onFrame, std::string& error) {
    const FrameConfig& cfg = options.config;
    if (options.hop < 1) {
        error = "hop must be at least 1";
        return false;
    }
    if (recording.sampleRate != cfg.sampleRate) {
        error = "recording rate differs from the frame configuration";
        return false;
    }
    PitchAnalyser analyser;
    if (!analyser.Setup(cfg.frameLength, cfg.sampleRate, 20, 7, 24, cfg.lowest)) {
        error = "analyser set-up failed";
        return false;
    }
    if (!analyser.SetConcertA(options.concertA)) {
        error = "concert A out of range";
        return false;
    }
    PitchTracker tracker;
    const int n = cfg.frameLength;
    const size_t total = recording.samples.size();
    FrameReport report;
    float heldCents = 0.0f;
    for (size_t start = 0; start + static_cast<size_t>(n) <= total;
         start += static_cast<size_t>(options.hop)) {
        std::copy_n(recording.samples.begin() + static_cast<std::ptrdiff_t>(start), n,
                    analyser.FrameBuffer());
        report.inputLevel = analyser.InputLevel();
        analyser.AnalyseFrame(false, options.hop);
        // The loudest class, the first one on ties, as the frame update picks it.
        int best = 0;
        float bestLevel = -100.0f;
        for (int c = 0; c < PitchAnalyser::kClasses; ++c) {
            if (analyser.Result(c).level > bestLevel) {
                bestLevel = analyser.Result(c).level;
                best = c;
            }
        }
        report.best = analyser.Result(best);
        report.classes = analyser.Results();
        report.reading = tracker.Track(report.best, static_cast<float>(options.hop), cfg.sampleRate,
                                       report.inputLevel);
        report.hold = tracker.Hold();
        if (!report.hold) {
            const PitchResult& r = report.reading;
            heldCents = tracker.AveragePitch() - 1200.0f * static_cast<float>(r.octave) -
                        100.0f * static_cast<float>(r.note) - 50.0f;
        }
        report.cents = heldCents;
        report.averageInputLevel = tracker.AverageInputLevel();
        report.time = static_cast<double>(start + static_cast<size_t>(n) - 1) / cfg.sampleRate;
        onFrame(report);
        ++report.index;
    }
    return true;
}

const char* KeyName(int note) {
    return kKeyNames[static_cast<size_t>(((note % 12) + 12) % 12)];
}

int KeyIndex(const std::string& name) {
    for (size_t i = 0; i < kKeyNames.size(); ++i) {
        const std::string k = kKeyNames[i];
        if (k.size() == name.size() &&
            std::equal(k.begin(), k.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
