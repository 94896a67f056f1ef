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

struct SrcCloser {
    void operator()(SRC_STATE* s) const { src_delete(s); }
};

} // namespace

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
    const bool resample = targetRate > 0 && targetRate != info.samplerate;
    const double ratio = resample ? static_cast<double>(targetRate) / info.samplerate : 1.0;
    // A file whose length is known and too long is refused before minutes of resampling; a
    // stream is held to the same limit as it is read.
    const bool exactLength = info.seekable && (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
    const std::string tooLongText =
        "recording too long (over " + std::to_string(kMaxAnalysedSamples) + " samples to analyse)";
    if (exactLength && static_cast<double>(info.frames) * ratio > kMaxAnalysedSamples) {
        error = tooLongText;
        return false;
    }
    std::unique_ptr<SRC_STATE, SrcCloser> converter;
    if (resample) {
        int rc = 0;
        converter.reset(src_new(SRC_SINC_BEST_QUALITY, 1, &rc));
        if (!converter || src_set_ratio(converter.get(), ratio) != 0 ||
            src_is_valid_ratio(ratio) == 0) {
            error = "cannot resample from " + std::to_string(info.samplerate) + " Hz";
            return false;
        }
    }

    // Read, mix and resample a block at a time, so memory follows the audio actually read,
    // never a length the header claims.
    constexpr sf_count_t kBlock = 8192;
    std::vector<float> block(static_cast<size_t>(kBlock * info.channels));
    std::vector<float> mono(static_cast<size_t>(kBlock));
    std::vector<float> converted(static_cast<size_t>(std::ceil(kBlock * std::min(ratio, 256.0))) +
                                 64);
    std::vector<float> samples;
    bool tooLong = false;
    auto append = [&](const float* from, size_t n) {
        if (samples.size() + n > kMaxAnalysedSamples) {
            tooLong = true;
            return;
        }
        samples.insert(samples.end(), from, from + n);
    };
    // Feeds `n` mono samples (none at the end) through the resampler.
    auto convert = [&](sf_count_t n, bool last) -> bool {
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(n);
        data.end_of_input = last ? 1 : 0;
        data.src_ratio = ratio;
        for (;;) {
            data.data_out = converted.data();
            data.output_frames = static_cast<long>(converted.size());
            const int rc = src_process(converter.get(), &data);
            if (rc != 0) {
                error = std::string("resampling failed: ") + src_strerror(rc);
                return false;
            }
            append(converted.data(), static_cast<size_t>(data.output_frames_gen));
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
            // Done when the block is used up, or at the end when nothing more comes out; a call
            // that takes and gives nothing would otherwise loop for ever.
            const bool drained = last ? data.output_frames_gen == 0 : data.input_frames == 0;
            const bool stuck = data.input_frames_used == 0 && data.output_frames_gen == 0;
            if (tooLong || drained || stuck) {
                return true;
            }
        }
    };

    sf_count_t done = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), kBlock);
        if (got <= 0) {
            break;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < info.channels; ++c) {
                float v = block[static_cast<size_t>(i * info.channels + c)];
                // A damaged float file can hold NaN or infinite samples. Unchecked, one NaN
                // blanks every frame that holds it (and, resampled, its neighbours too): take it
                // as silence, and an infinity as full scale.
                if (std::isnan(v)) {
                    v = 0.0f;
                } else if (std::isinf(v)) {
                    v = v > 0.0f ? 1.0f : -1.0f;
                }
                sum += v;
            }
            mono[static_cast<size_t>(i)] = sum / static_cast<float>(info.channels);
        }
        done += got;
        if (resample) {
            if (!convert(got, false)) {
                return false;
            }
        } else {
            append(mono.data(), static_cast<size_t>(got));
        }
        if (tooLong) {
            break;
        }
    }
    if (resample && !tooLong && !convert(0, true)) {
        return false;
    }
    if (tooLong) {
        error = tooLongText;
        return false;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        error = std::string("read failed: ") + sf_strerror(file.get());
        return false;
    }
    // A file that ends before the length its header gives is damaged: libsndfile just stops
    // (a cut FLAC, say), and analysing the part before would pass it off as the whole. A stream
    // has no length to compare, and an MPEG file's is only an estimate.
    if (exactLength && done < info.frames) {
        error = "read failed: the file ends after " + std::to_string(done) + " of its " +
                std::to_string(info.frames) + " frames";
        return false;
    }

    recording.fileRate = info.samplerate;
    recording.sampleRate = targetRate > 0 ? targetRate : info.samplerate;
    // The capture side delivers 16-bit integers as floats: scale, round and clip alike.
    for (float& v : samples) {
        v = std::clamp(std::nearbyint(v * 32768.0f), -32768.0f, 32767.0f);
    }
    recording.samples = std::move(samples);
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
    // Say so rather than print nothing, which would read as analysed and silent.
    if (recording.samples.size() < static_cast<size_t>(cfg.frameLength)) {
        error = "shorter than one analysis frame (" + std::to_string(cfg.frameLength) +
                " samples at " + std::to_string(cfg.sampleRate) + " Hz)";
        return false;
    }
    PitchAnalyser analyser;
    if (!SetUpAnalyser(analyser, cfg)) {
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
        report.inputLevel = AnalyseFrame(analyser, false, options.hop).inputLevel;
        report.classes = analyser.Results();
        const FrameReading tracked =
            TrackFrame(tracker, report.classes, static_cast<float>(options.hop), cfg.sampleRate,
                       report.inputLevel);
        report.best = tracked.best;
        report.reading = tracked.reading;
        report.hold = tracked.hold;
        if (!report.hold) {
            const PitchResult& r = report.reading;
            heldCents = tracker.AveragePitch() - 1200.0f * static_cast<float>(r.octave) -
                        100.0f * static_cast<float>(r.note) - 50.0f;
        }
        report.cents = heldCents;
        report.averageInputLevel = tracked.averageInputLevel;
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
