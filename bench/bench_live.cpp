// The live tuner on a recording played in real time: the real window (engine, tracker, frame
// update, screen-paced drawing into the window's image), fed by the simulated recording device
// or by PortAudio on an ALSA device that reads the recording from a file. After a warm-up it
// measures, over a stretch of wall time: the whole process's CPU as a share of one core, the
// window updates per second and the longest gap between two, and the frames analysed per second
// of audio with the hop the capture thread settled at. --log writes every window update (time
// on the recording's clock, note, octave, percent), from which bench/live/run.sh works out the
// time from each note change to the screen.
//
//   build/default/bench/bench_live [--device sim|portaudio] [--recording FILE.raw]
//                                  [--warmup S] [--seconds S] [--log FILE] [--check]
//
// FILE.raw holds signed 16-bit mono samples at 11025 Hz; without one the tuner hears a tone that
// moves up a fourth every second. The simulated device plays the recording in a loop; the ALSA
// device reads it once, then silence. --check (CI) exits 1 when the window was never updated or
// more frames were analysed than the hop floor allows; it judges no timing. Exit 77: PortAudio
// lists no device for the file-fed configuration.

#include "analysis/FramePipeline.h"
#include "app/TunerWindow.h"
#include "capture/RecordingStart.h"
#include "capture/SimulatedWaveIn.h"
#include "tests/common/AlsaDevices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 11025;

int64_t NowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// When the recording's first sample was recorded (steady clock, ns); 0 until then.
std::atomic<int64_t> g_audioStartNs{0};

// --- the ALSA file device, paced ---------------------------------------------------------------
// The file device reads its input file as fast as it is asked. A sound card hands over audio at
// the pace it is recorded: each read of the recording waits until the last sample it asks for
// would have been recorded.
std::atomic<ino_t> g_pacedInode{0};

void PaceRead(int fd, size_t bytes) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != g_pacedInode.load())
        return;
    const off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos == 0)
        g_audioStartNs.store(NowNs());
    const int64_t samples = (static_cast<int64_t>(pos) + static_cast<int64_t>(bytes)) / 2;
    const int64_t due = g_audioStartNs.load() + samples * 1000000000 / kRate;
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, due - NowNs())));
}

} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t bytes) {
    using Read = ssize_t (*)(int, void*, size_t);
    static const Read real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    if (g_pacedInode.load(std::memory_order_relaxed) != 0)
        PaceRead(fd, bytes);
    return real(fd, buffer, bytes);
}

namespace {

// --- the simulated device's recording ------------------------------------------------------

// The recording in a loop; notes when its first sample was recorded (the device's feeder hands
// over each chunk as soon as its last sample is due).
class LoopedRecording final : public SignalSource {
public:
    explicit LoopedRecording(std::vector<int16_t> samples) : m_samples(std::move(samples)) {}
    void Fill(int16_t* dst, size_t count) override {
        if (m_pos == 0)
            g_audioStartNs.store(NowNs() - static_cast<int64_t>(count) * 1000000000 / kRate);
        for (size_t i = 0; i < count; ++i)
            dst[i] = m_samples[(m_pos++) % m_samples.size()];
    }

private:
    std::vector<int16_t> m_samples;
    size_t m_pos = 0;
};

// Tones of six partials (1/k) a fourth apart from E2, one second each, 24 s in all.
std::vector<int16_t> Fourths() {
    std::vector<int16_t> s(static_cast<size_t>(24 * kRate));
    double phase = 0.0;
    for (size_t i = 0; i < s.size(); ++i) {
        const int step = static_cast<int>(i / kRate) % 8;
        const double f = 82.41 * std::pow(2.0, 5.0 * step / 12.0);
        phase = std::fmod(phase + 2.0 * std::numbers::pi * f / kRate, 2.0 * std::numbers::pi);
        double v = 0.0;
        for (int k = 1; k <= 6; ++k)
            v += std::sin(k * phase) / k;
        s[i] = static_cast<int16_t>(std::lround(5000.0 * v));
    }
    return s;
}

bool ReadRaw(const std::string& path, std::vector<int16_t>& samples) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    samples.resize(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(
            static_cast<uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                  (static_cast<unsigned char>(bytes[2 * i + 1]) << 8)));
    return !samples.empty();
}

// --- measurement -------------------------------------------------------------------------------

double CpuSeconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double LoadAverage() {
    double load[1] = {0.0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

struct Snapshot {
    int64_t wallNs = 0;
    double cpu = 0.0;
    double windowCpu = 0.0; // the window thread's
    uint64_t updates = 0;
    CaptureStats capture;
};

struct Update {
    int64_t ns;
    int note, octave, percent;
};

struct Options {
    std::string device = "sim";
    std::string recording;
    double warmup = 15.0;
    double seconds = 60.0;
    std::string log;
    bool check = false;
};

int Usage() {
    std::fprintf(stderr, "usage: bench_live [--device sim|portaudio] [--recording FILE.raw] "
                         "[--warmup S] [--seconds S] [--log FILE] [--check]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--device" && more)
            o.device = argv[++i];
        else if (a == "--recording" && more)
            o.recording = argv[++i];
        else if (a == "--warmup" && more)
            o.warmup = std::atof(argv[++i]);
        else if (a == "--seconds" && more)
            o.seconds = std::atof(argv[++i]);
        else if (a == "--log" && more)
            o.log = argv[++i];
        else if (a == "--check")
            o.check = true;
        else
            return Usage();
    }
    if ((o.device != "sim" && o.device != "portaudio") || o.seconds <= 0.0 || o.warmup < 0.0)
        return Usage();

    std::vector<int16_t> recording;
    if (o.recording.empty()) {
        recording = Fourths();
    } else if (!ReadRaw(o.recording, recording)) {
        std::fprintf(stderr, "bench_live: cannot read %s\n", o.recording.c_str());
        return 2;
    }

    // The ALSA device reads its own copy: the recording once over the whole run, then silence.
    std::shared_ptr<WaveInService> service;
    const std::filesystem::path alsaDir = o.device == "portaudio" ? testalsa::ScratchDir() : "";
    if (o.device == "portaudio") {
        const auto raw = alsaDir / "recording.raw";
        std::ofstream out(raw, std::ios::binary);
        const size_t total = static_cast<size_t>((o.warmup + o.seconds + 5.0) * kRate);
        for (size_t i = 0; i < total + 2 * kRate; ++i) {
            const int16_t v = i < total ? recording[i % recording.size()] : 0;
            out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>((v >> 8) & 0xFF));
        }
        out.close();
        testalsa::UseDefaultDevice(alsaDir / "asoundrc", raw.string());
        struct stat st {};
        stat(raw.c_str(), &st);
        g_pacedInode.store(st.st_ino);
    } else {
        auto sim = std::make_shared<SimulatedWaveIn>();
        sim->SetSource(std::make_shared<LoopedRecording>(recording));
        sim->SetPace(SimulatedWaveIn::Pace::Paced, 1.0, CaptureBlockLength(kRate));
        service = sim;
    }

    QApplication app(argc, argv);
    // The window keeps its settings and error log in its current directory: a scratch one.
    QTemporaryDir dir;
    for (const char* f : {"TarvoLogo.bmp", "TarvoLogoOp.bmp", "NotesClr.bmp", "NotesBev.bmp",
                          "NumClr.bmp", "NumBev.bmp", "Label.bmp", "Circle.bmp"})
        QFile::copy(QString(TARVO_DATA_DIR) + "/" + f, dir.filePath(f));
    QDir::setCurrent(dir.path());

    std::vector<Update> updates;
    updates.reserve(static_cast<size_t>((o.warmup + o.seconds + 10.0) * 1000.0));
    const double load0 = LoadAverage();
    const int64_t t0 = NowNs();
    TunerWindow window(service);
    if (!window.Create()) {
        std::fprintf(stderr, "bench_live: the window could not be created\n");
        return 2;
    }
    if (!window.Engine().IsRunning()) {
        std::fprintf(stderr, "bench_live: no recording device (%s)\n", o.device.c_str());
        return o.device == "portaudio" ? 77 : 2;
    }
    QObject::connect(&window, &TunerWindow::ReadingShown, [&] {
        updates.push_back(
            {NowNs(), window.ShownNote(), window.ShownOctave(), window.ShownPercent()});
    });
    window.show();

    Snapshot a, b;
    auto snap = [&](Snapshot& s) {
        s.wallNs = NowNs();
        s.cpu = CpuSeconds(RUSAGE_SELF);
        s.windowCpu = CpuSeconds(RUSAGE_THREAD);
        s.updates = window.ReadingsShown();
        s.capture = window.Engine().Capture().GetStats();
    };
    QTimer::singleShot(static_cast<int>(o.warmup * 1000.0), [&] { snap(a); });
    QTimer::singleShot(static_cast<int>((o.warmup + o.seconds) * 1000.0), [&] {
        snap(b);
        app.quit();
    });
    QApplication::exec();
    const int hop = window.Engine().GetHop();
    const int block = window.Engine().GetBufferLength();
    const int frameLength = window.Engine().GetFrameLength();
    const int rate = window.Engine().GetSampleRate();
    window.close();
    const double load1 = LoadAverage();
    if (!alsaDir.empty())
        std::filesystem::remove_all(alsaDir);

    const double wall = static_cast<double>(b.wallNs - a.wallNs) / 1e9;
    const double cpu = b.cpu - a.cpu;
    const double audio =
        static_cast<double>(b.capture.buffersTaken - a.capture.buffersTaken) * block / rate;
    const uint64_t frames = b.capture.framesAnalysed - a.capture.framesAnalysed;
    double gap = 0.0;
    for (size_t i = 1; i < updates.size(); ++i)
        if (updates[i - 1].ns >= a.wallNs && updates[i].ns <= b.wallNs)
            gap = std::max(gap, static_cast<double>(updates[i].ns - updates[i - 1].ns) / 1e6);

    std::printf("device %s, %d Hz, blocks of %d samples, frames of %d; warm-up %.0f s, measured "
                "%.1f s; load average %.2f before, %.2f after\n",
                o.device.c_str(), rate, block, frameLength, o.warmup, wall, load0, load1);
    const double captureCpu =
        static_cast<double>(b.capture.threadCpuNs - a.capture.threadCpuNs) / 1e9;
    const double windowCpu = b.windowCpu - a.windowCpu;
    std::printf("cpu %.3f s = %.2f %% of one core: window thread %.2f %%, capture thread %.2f %%, "
                "the rest (audio service) %.2f %%\n",
                cpu, 100.0 * cpu / wall, 100.0 * windowCpu / wall, 100.0 * captureCpu / wall,
                100.0 * (cpu - windowCpu - captureCpu) / wall);
    std::printf("window updates %llu = %.1f per second, longest gap %.1f ms\n",
                static_cast<unsigned long long>(b.updates - a.updates),
                static_cast<double>(b.updates - a.updates) / wall, gap);
    std::printf("frames analysed %llu = %.1f per second of audio (%.1f s), skipped %llu; hop %d "
                "(floor %d)\n",
                static_cast<unsigned long long>(frames), audio > 0 ? frames / audio : 0.0, audio,
                static_cast<unsigned long long>(b.capture.framesSkipped - a.capture.framesSkipped),
                hop, HopFloor(rate));
    std::printf("time to start %.2f s\n", static_cast<double>(g_audioStartNs.load() - t0) / 1e9);

    if (!o.log.empty()) {
        std::FILE* f = std::fopen(o.log.c_str(), "w");
        if (f == nullptr) {
            std::fprintf(stderr, "bench_live: cannot write %s\n", o.log.c_str());
            return 2;
        }
        // Times on the recording's clock: seconds since its first sample was recorded.
        std::fprintf(f, "time,note,octave,percent\n");
        const int64_t start = g_audioStartNs.load();
        for (const Update& u : updates)
            if (u.ns >= start)
                std::fprintf(f, "%.4f,%d,%d,%d\n", static_cast<double>(u.ns - start) / 1e9, u.note,
                             u.octave, u.percent);
        std::fprintf(f, "# measured %.4f %.4f\n", static_cast<double>(a.wallNs - start) / 1e9,
                     static_cast<double>(b.wallNs - start) / 1e9);
        std::fclose(f);
    }

    if (!o.check)
        return 0;
    // Every analysed frame lies in audio the capture thread took, one hop floor or more after
    // the one before.
    const uint64_t taken = b.capture.buffersTaken * static_cast<uint64_t>(block);
    const uint64_t allowed =
        taken >= static_cast<uint64_t>(frameLength)
            ? (taken - static_cast<uint64_t>(frameLength)) / static_cast<uint64_t>(HopFloor(rate)) +
                  1
            : 0;
    bool ok = true;
    if (b.updates == 0) {
        std::printf("check: FAILED, the window was never updated\n");
        ok = false;
    }
    if (b.capture.framesAnalysed > allowed) {
        std::printf("check: FAILED, %llu frames analysed in %llu samples, the floor allows %llu\n",
                    static_cast<unsigned long long>(b.capture.framesAnalysed),
                    static_cast<unsigned long long>(taken),
                    static_cast<unsigned long long>(allowed));
        ok = false;
    }
    if (ok)
        std::printf("check: ok\n");
    return ok ? 0 : 1;
}
