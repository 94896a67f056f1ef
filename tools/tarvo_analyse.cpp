// tarvo-analyse: the tuner's analysis on recordings, one CSV line per frame or a summary.

#include "model/Notes.h"
#include "tools/AnalyseFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kExitBad = 2;
constexpr int kMaxHop = 65536;

const char* const kUsage =
    "usage: tarvo-analyse [options] FILE...\n"
    "Analyses recordings (WAV, FLAC, OGG, AIFF, ...) as the tuner does and prints one CSV line\n"
    "per frame: time,note,octave,cents,level,frequency,hold\n"
    "\n"
    "  --concert-a HZ  concert A, 430 to 450 Hz (default 440)\n"
    "  --key NAME      instrument key the notes are shown in: C C# D Eb E F F# G G# A Bb B\n"
    "                  (default C, no transposition)\n"
    "  --hop N         samples between frames, 1 to 65536 (default 128)\n"
    "  --native-rate   analyse 11025, 22050 and 44100 Hz files at their own rate with the\n"
    "                  tuner's configuration for that rate, instead of resampling to 11025 Hz\n"
    "  --classes       print the twelve per-class results of each frame instead:\n"
    "                  time,class,note,octave,cents,level,frequency\n"
    "  --summary       one line per file: most frequent settled note and octave, median\n"
    "                  cents and frequency of its settled frames, first settled time\n"
    "  --time          print no frames; report on standard error the CPU time of the\n"
    "                  analysis alone (input level, frame analysis, tracking), apart from\n"
    "                  reading and resampling the file\n"
    "  -h, --help      show this text\n"
    "\n"
    "time is the time of the frame's last sample in seconds, cents and level carry two\n"
    "decimals, frequency three; hold is 1 while the tuner keeps showing its previous reading.\n"
    "With several files each file's lines follow a '# FILE' line. File names are printed with\n"
    "backslashes and control characters escaped (\\\\, \\n, \\t, \\r, \\xHH). Recordings are read\n"
    "up to 25 minutes (at 11025 Hz; a quarter of that with --native-rate at 44100 Hz). Exit\n"
    "status 2 when a file or an option could not be used.\n";

struct Options {
    float concertA = 440.0f;
    int key = 0;
    int hop = 128;
    bool nativeRate = false;
    bool classes = false;
    bool summary = false;
    bool time = false;
    std::vector<std::string> files;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tarvo-analyse: %s\n%s", message.c_str(), kUsage);
    return kExitBad;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

// Returns -1 when parsing succeeded, else the exit status.
int ParseArguments(int argc, char** argv, Options& o) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto needValue = [&]() {
            if (!hasValue) {
                if (i + 1 >= argc) {
                    return false;
                }
                value = argv[++i];
                hasValue = true;
            }
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--concert-a") {
            double v = 0.0;
            if (!needValue() || !ParseNumber(value, v) || v < 430.0 || v > 450.0) {
                return UsageError("--concert-a needs a frequency from 430 to 450 Hz");
            }
            o.concertA = static_cast<float>(v);
        } else if (arg == "--key") {
            if (!needValue() || (o.key = KeyIndex(value)) < 0) {
                return UsageError("--key needs one of C C# D Eb E F F# G G# A Bb B");
            }
        } else if (arg == "--hop") {
            double v = 0.0;
            if (!needValue() || !ParseNumber(value, v) || v != std::floor(v) || v < 1.0 ||
                v > kMaxHop) {
                return UsageError("--hop needs a whole number of samples from 1 to 65536");
            }
            o.hop = static_cast<int>(v);
        } else if (arg == "--native-rate" && !hasValue) {
            o.nativeRate = true;
        } else if (arg == "--classes" && !hasValue) {
            o.classes = true;
        } else if (arg == "--summary" && !hasValue) {
            o.summary = true;
        } else if (arg == "--time" && !hasValue) {
            o.time = true;
        } else {
            return UsageError("unknown option '" + std::string(argv[i]) + "'");
        }
    }
    if ((o.classes ? 1 : 0) + (o.summary ? 1 : 0) + (o.time ? 1 : 0) > 1) {
        return UsageError("--classes, --summary and --time exclude each other");
    }
    if (o.files.empty()) {
        return UsageError("no file given");
    }
    return -1;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

float Median(std::vector<float> v) {
    if (v.empty()) {
        return 0.0f;
    }
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    const float upper = v[mid];
    if (v.size() % 2 == 1) {
        return upper;
    }
    const float lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
    return 0.5f * (lower + upper);
}

// Settled frames of one file, for --summary.
struct Summary {
    long frames = 0;
    long settled = 0;
    double firstSettled = -1.0;
    std::vector<std::pair<int, int>> order; // (note, octave) in order of first appearance
    std::map<std::pair<int, int>, std::pair<std::vector<float>, std::vector<float>>> byNote;

    void Add(const FrameReport& f, int note, int octave) {
        ++frames;
        if (f.hold) {
            return;
        }
        ++settled;
        if (firstSettled < 0.0) {
            firstSettled = f.time;
        }
        const auto key = std::make_pair(note, octave);
        auto it = byNote.find(key);
        if (it == byNote.end()) {
            order.push_back(key);
            it = byNote.emplace(key, std::make_pair(std::vector<float>{}, std::vector<float>{}))
                     .first;
        }
        it->second.first.push_back(f.cents);
        it->second.second.push_back(f.reading.frequency);
    }

    void Print(const std::string& name) const {
        if (settled == 0) {
            std::printf("%s: no settled note (0 of %ld frames)\n", name.c_str(), frames);
            return;
        }
        // Most frequent note; the first to appear wins ties.
        std::pair<int, int> best = order.front();
        size_t bestCount = 0;
        for (const auto& key : order) {
            const size_t c = byNote.at(key).first.size();
            if (c > bestCount) {
                bestCount = c;
                best = key;
            }
        }
        const auto& [cents, freqs] = byNote.at(best);
        std::printf("%s: %s%d %+.2f cents %.3f Hz, first settled at %.4f s (%ld of %ld frames "
                    "settled, %zu on %s%d)\n",
                    name.c_str(), KeyName(best.first), best.second, Median(cents), Median(freqs),
                    firstSettled, settled, frames, bestCount, KeyName(best.first), best.second);
    }
};

bool AnalyseOne(const std::string& path, const Options& o, bool several) {
    // Names go out escaped: a line feed in one must not start a line of its own.
    const std::string name = PrintableName(path);
    Recording rec;
    std::string error;
    AnalyseOptions ao;
    ao.hop = o.hop;
    ao.concertA = o.concertA;
    if (o.nativeRate) {
        if (!LoadRecording(path, 0, rec, error)) {
            std::fprintf(stderr, "tarvo-analyse: %s: %s\n", name.c_str(), error.c_str());
            return false;
        }
        if (!LiveConfiguration(rec.sampleRate, ao.config)) {
            std::fprintf(stderr,
                         "tarvo-analyse: %s: sample rate %d Hz has no tuner configuration "
                         "(--native-rate takes 11025, 22050 or 44100 Hz)\n",
                         name.c_str(), rec.sampleRate);
            return false;
        }
    } else {
        LiveConfiguration(11025, ao.config);
        if (!LoadRecording(path, ao.config.sampleRate, rec, error)) {
            std::fprintf(stderr, "tarvo-analyse: %s: %s\n", name.c_str(), error.c_str());
            return false;
        }
    }

    if (o.time) {
        // The analysis loop alone: the file is already read and resampled, and nothing is
        // printed per frame.
        long frames = 0;
        const double start = ProcessCpuSeconds();
        const bool ok = AnalyseRecording(
            rec, ao, [&](const FrameReport&) { ++frames; }, error);
        const double cpu = ProcessCpuSeconds() - start;
        if (!ok) {
            std::fprintf(stderr, "tarvo-analyse: %s: %s\n", name.c_str(), error.c_str());
            return false;
        }
        const double seconds =
            static_cast<double>(rec.samples.size()) / static_cast<double>(rec.sampleRate);
        std::fprintf(stderr,
                     "tarvo-analyse: %s: analysis cpu %.6f s for %.3f s of audio (%ld frames), "
                     "%.6f s per s\n",
                     name.c_str(), cpu, seconds, frames, seconds > 0.0 ? cpu / seconds : 0.0);
        return true;
    }

    Summary summary;
    if (!o.summary) {
        if (several) {
            std::printf("# %s\n", name.c_str());
        }
        std::puts(o.classes ? "time,class,note,octave,cents,level,frequency"
                            : "time,note,octave,cents,level,frequency,hold");
    }
    const bool ok = AnalyseRecording(
        rec, ao,
        [&](const FrameReport& f) {
            if (o.classes) {
                for (int c = 0; c < 12; ++c) {
                    const PitchResult& r = f.classes[c];
                    ShownNote shown = Transpose(r.note, r.octave, o.key);
                    if (r.level <= -90.0f) {
                        shown.octave = 0; // an empty class has no octave to shift
                    }
                    std::printf("%.4f,%d,%s,%d,%.2f,%.2f,%.3f\n", f.time, c, KeyName(shown.note),
                                shown.octave, r.cents, r.level, r.frequency);
                }
                return;
            }
            const ShownNote shown = Transpose(f.reading.note, f.reading.octave, o.key);
            if (o.summary) {
                summary.Add(f, shown.note, shown.octave);
                return;
            }
            std::printf("%.4f,%s,%d,%.2f,%.2f,%.3f,%d\n", f.time, KeyName(shown.note), shown.octave,
                        f.cents, f.reading.level, f.reading.frequency, f.hold ? 1 : 0);
        },
        error);
    if (!ok) {
        std::fprintf(stderr, "tarvo-analyse: %s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    if (o.summary) {
        summary.Print(name);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int rc = ParseArguments(argc, argv, o); rc >= 0) {
        return rc;
    }
    bool allGood = true;
    for (const std::string& path : o.files) {
        bool ok = false;
        try {
            ok = AnalyseOne(path, o, o.files.size() > 1);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "tarvo-analyse: %s: out of memory\n", PrintableName(path).c_str());
        }
        allGood = ok && allGood;
        // Output that never arrived (a full disk, a closed pipe) is no result.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "tarvo-analyse: write error: %s\n", std::strerror(errno));
            return kExitBad;
        }
    }
    return allGood ? 0 : kExitBad;
}
