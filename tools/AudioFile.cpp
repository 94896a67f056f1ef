#include "tools/AudioFile.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

struct SoxrCloser {
    void operator()(soxr_t s) const { soxr_delete(s); }
};

// Where the resampler's pass band ends, as a fraction of the lower rate's Nyquist frequency.
// At 0.931 the response through the transition band stays within 0.5 dB (down to -25 dB) of the
// converter used before (libsamplerate's best sinc; -3.3 dB at 5300 Hz for 11025 Hz), so the
// readings of resampled recordings stay as they were: partials near the edge keep their levels.
constexpr double kPassbandEnd = 0.931;

// Headers of files written as they were made, to a pipe, carry a placeholder where the length
// belongs (0x7FFFF000 bytes from sox, 0xFFFFFFFF from others): sizes this large state nothing.
constexpr uint64_t kPlaceholderBytes = 0x7F000000;

// Bytes of one frame in a fixed-size sample format, 0 for a compressed one.
int BytesPerFrame(const SF_INFO& info) {
    int bytes = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        bytes = 1;
        break;
    case SF_FORMAT_PCM_16:
        bytes = 2;
        break;
    case SF_FORMAT_PCM_24:
        bytes = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        bytes = 4;
        break;
    case SF_FORMAT_DOUBLE:
        bytes = 8;
        break;
    default:
        return 0;
    }
    return bytes * info.channels;
}

// Frames in `bytes` of sample data, or nothing for a placeholder or a compressed format.
std::optional<int64_t> FramesIn(uint64_t bytes, const SF_INFO& info) {
    const int perFrame = BytesPerFrame(info);
    if (perFrame == 0 || bytes >= kPlaceholderBytes)
        return std::nullopt;
    return static_cast<int64_t>(bytes / static_cast<uint64_t>(perFrame));
}

uint64_t Get(const unsigned char* p, int n, bool bigEndian) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= static_cast<uint64_t>(p[bigEndian ? i : n - 1 - i]) << (8 * (n - 1 - i));
    return v;
}

// The length the header of a WAV (RIFF, RIFX, RF64), Wave64, AIFF/AIFC or AU file states, in
// frames, read from the file itself: libsndfile quietly shortens it to what the file holds.
std::optional<int64_t> HeaderFrames(const std::string& path, const SF_INFO& info) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[40] = {};
    if (!in.read(reinterpret_cast<char*>(head), 12))
        return std::nullopt;
    const std::string magic(reinterpret_cast<char*>(head), 4);
    auto read = [&](uint64_t at, unsigned char* to, std::streamsize n) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(at));
        return static_cast<bool>(in.read(reinterpret_cast<char*>(to), n));
    };
    constexpr int kMaxChunks = 1000;

    if ((magic == "RIFF" || magic == "RIFX" || magic == "RF64") &&
        std::string(reinterpret_cast<char*>(head) + 8, 4) == "WAVE") {
        const bool big = magic == "RIFX";
        std::optional<uint64_t> ds64Data, factFrames;
        uint64_t at = 12;
        for (int i = 0; i < kMaxChunks && read(at, head, 8); ++i) {
            const std::string id(reinterpret_cast<char*>(head), 4);
            const uint64_t size = Get(head + 4, 4, big);
            if (id == "ds64" && read(at + 8, head, 16)) {
                ds64Data = Get(head + 8, 8, false);
            } else if (id == "fact" && read(at + 8, head, 4)) {
                factFrames = Get(head, 4, big);
            } else if (id == "data") {
                if (size == 0xFFFFFFFF && ds64Data)
                    return *ds64Data >= (uint64_t{1} << 40) ? std::nullopt
                                                            : FramesIn(*ds64Data, info);
                if (BytesPerFrame(info) == 0 && factFrames && *factFrames < kPlaceholderBytes)
                    return static_cast<int64_t>(*factFrames);
                return FramesIn(size, info);
            }
            at += 8 + size + (size & 1);
        }
        return std::nullopt;
    }
    if (magic == "FORM") {
        const std::string kind(reinterpret_cast<char*>(head) + 8, 4);
        if (kind != "AIFF" && kind != "AIFC")
            return std::nullopt;
        uint64_t at = 12;
        for (int i = 0; i < kMaxChunks && read(at, head, 8); ++i) {
            const uint64_t size = Get(head + 4, 4, true);
            if (std::string(reinterpret_cast<char*>(head), 4) == "COMM" && read(at + 8, head, 6)) {
                const uint64_t frames = Get(head + 2, 4, true);
                const int perFrame = std::max(BytesPerFrame(info), 1);
                if (frames * static_cast<uint64_t>(perFrame) >= kPlaceholderBytes)
                    return std::nullopt;
                return static_cast<int64_t>(frames);
            }
            at += 8 + size + (size & 1);
        }
        return std::nullopt;
    }
    if (magic == ".snd" || magic == "dns.") {
        const uint64_t size = Get(head + 8, 4, magic == ".snd");
        return size == 0xFFFFFFFF ? std::nullopt : FramesIn(size, info);
    }
    if (magic == "riff") { // Wave64: 16-byte chunk ids, 8-byte sizes that count the chunk header
        uint64_t at = 40;
        for (int i = 0; i < kMaxChunks && read(at, head, 24); ++i) {
            const uint64_t size = Get(head + 16, 8, false);
            if (std::string(reinterpret_cast<char*>(head), 4) == "data")
                return size < 24 ? std::nullopt : FramesIn(size - 24, info);
            if (size < 24)
                return std::nullopt;
            at += (size + 7) & ~uint64_t{7};
        }
    }
    return std::nullopt;
}

// The length the file states, when it states one. For a stream libsndfile cannot shorten it,
// so its count is the header's; a FLAC's is its stream header's either way. Ogg and MPEG state
// none (MPEG's count is an estimate); SF_COUNT_MAX means none is known.
std::optional<int64_t> StatedFrames(const std::string& path, const SF_INFO& info) {
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG || info.frames == SF_COUNT_MAX)
        return std::nullopt;
    if (info.seekable) {
        if (major == SF_FORMAT_FLAC)
            return info.frames;
        return HeaderFrames(path, info);
    }
    const int perFrame = BytesPerFrame(info);
    if (perFrame > 0 &&
        static_cast<uint64_t>(info.frames) * static_cast<uint64_t>(perFrame) >= kPlaceholderBytes)
        return std::nullopt;
    return info.frames;
}

std::string Minutes(size_t samples, int rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f minutes", static_cast<double>(samples) / rate / 60.0);
    return text;
}

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
    const int rate = targetRate > 0 ? targetRate : info.samplerate;
    const bool resample = rate != info.samplerate;
    const double ratio = static_cast<double>(rate) / info.samplerate;
    const std::optional<int64_t> stated = StatedFrames(path, info);
    // Ogg states no length, but libsndfile finds it from the last page of a file it can seek
    // in: no length found means that page is missing, so the file is cut short.
    const bool oggCut = info.seekable && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG &&
                        info.frames == SF_COUNT_MAX;

    std::unique_ptr<soxr, SoxrCloser> converter;
    if (resample) {
        // libsoxr's high quality (20 bits, linear phase) costs a tenth of the analysis itself;
        // libsamplerate's best sinc converter cost ten times the analysis.
        soxr_error_t fault = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        quality.passband_end = kPassbandEnd;
        converter.reset(soxr_create(info.samplerate, rate, 1, &fault, &io, &quality, nullptr));
        if (!converter || fault) {
            error = "cannot resample from " + std::to_string(info.samplerate) + " Hz";
            return false;
        }
    }

    // Memory follows the audio read, never a length the header claims: what is reserved is the
    // header's length when there is one, capped, and the cap for a stream.
    std::vector<float> samples;
    const double expected =
        stated ? static_cast<double>(*stated) * ratio + 64.0 : double(kMaxAnalysedSamples);
    samples.reserve(static_cast<size_t>(std::min(expected, double(kMaxAnalysedSamples))));
    bool tooLong = false;
    auto append = [&](const float* from, size_t n) {
        if (samples.size() + n > kMaxAnalysedSamples) {
            tooLong = true;
            return;
        }
        samples.insert(samples.end(), from, from + n);
    };

    constexpr sf_count_t kBlock = 8192;
    std::vector<float> block(static_cast<size_t>(kBlock * info.channels));
    std::vector<float> mono(static_cast<size_t>(kBlock));
    std::vector<float> converted(static_cast<size_t>(std::ceil(kBlock * std::min(ratio, 256.0))) +
                                 64);
    // Feeds `n` mono samples (none: the end) through the resampler.
    auto convert = [&](size_t n, bool last) -> bool {
        const float* in = mono.data();
        for (;;) {
            size_t used = 0;
            size_t made = 0;
            const soxr_error_t fault = soxr_process(converter.get(), last ? nullptr : in, n, &used,
                                                    converted.data(), converted.size(), &made);
            if (fault) {
                error = std::string("resampling failed: ") + fault;
                return false;
            }
            append(converted.data(), made);
            in += used;
            n -= used;
            // Done when the block is used up, or at the end when nothing more comes out.
            if (tooLong || (last ? made == 0 : n == 0))
                return true;
        }
    };

    sf_count_t done = 0;
    while (!tooLong) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), kBlock);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < info.channels; ++c) {
                float v = block[static_cast<size_t>(i * info.channels + c)];
                // A damaged float file can hold NaN or infinite samples. Unchecked, one NaN
                // blanks every frame that holds it (and, resampled, its neighbours too): take it
                // as silence, and an infinity as full scale.
                if (std::isnan(v))
                    v = 0.0f;
                else if (std::isinf(v))
                    v = v > 0.0f ? 1.0f : -1.0f;
                sum += v;
            }
            mono[static_cast<size_t>(i)] = sum / static_cast<float>(info.channels);
        }
        done += got;
        if (resample) {
            if (!convert(static_cast<size_t>(got), false))
                return false;
        } else {
            append(mono.data(), static_cast<size_t>(got));
        }
    }
    if (resample && !tooLong && !convert(0, true))
        return false;

    if (tooLong) {
        const std::string limit = Minutes(kMaxAnalysedSamples, rate) + " (" +
                                  std::to_string(kMaxAnalysedSamples) + " samples at " +
                                  std::to_string(rate) + " Hz)";
        error = stated
                    ? "recording too long: its header gives " +
                          Minutes(static_cast<size_t>(static_cast<double>(*stated) * ratio), rate) +
                          ", and at most " + limit + " are read"
                    : "recording too long, or a stream without end: it goes on past the " + limit +
                          " that are read at most";
        return false;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        error = std::string("read failed: ") + sf_strerror(file.get());
        return false;
    }
    // A file that ends before the length its header gives is damaged or cut short: libsndfile
    // just stops, and analysing the part before would pass it off as the whole.
    if (stated && done < *stated) {
        error = "read failed: the file ends after " + std::to_string(done) + " of the " +
                std::to_string(*stated) + " frames its header gives (cut short or damaged)";
        return false;
    }
    if (oggCut && done > 0) {
        error = "read failed: the file ends without its last Ogg page (cut short or damaged)";
        return false;
    }
    if (done == 0) {
        error = info.frames == 0 ? "the file holds no audio"
                                 : "no audio could be decoded (the file is damaged or cut short)";
        return false;
    }

    recording.fileRate = info.samplerate;
    recording.sampleRate = rate;
    // The capture side delivers 16-bit integers as floats: scale, round and clip alike.
    for (float& v : samples)
        v = std::clamp(std::nearbyint(v * 32768.0f), -32768.0f, 32767.0f);
    recording.samples = std::move(samples);
    return true;
}

std::string PrintableName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
        } else {
            out += c;
        }
    }
    return out;
}
