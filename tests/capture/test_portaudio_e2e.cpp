// The real PortAudio path on a machine without a sound card: the test writes its own ALSA
// configuration whose default capture device reads a known recording from a file, points
// ALSA_CONFIG_PATH at it before PortAudio starts (each test runs in its own process), runs
// the engine and checks that the analysed frames name the recording's note. It also counts
// allocations and lock calls made inside the PortAudio stream callback.

#include "CaptureTestUtil.h"
#include "capture/PortAudioWaveIn.h"
#include "model/TunerSettings.h"
#include "tests/common/AlsaDevices.h"
#include "tests/common/CallbackCalls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 11025;

// The file device reads its input file as fast as it is asked, hundreds of times faster than
// real time, and repeats its last period once the file ends. A recording device delivers at
// the pace of the sound, so the test paces the device's reads of its own input file: each
// read waits until the audio it asks for would have been recorded. (The read interposer below
// runs on ALSA's read path, outside the PortAudio callback.)
std::atomic<ino_t> g_pacedInode{0};

void PaceRead(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != g_pacedInode.load())
        return;
    // Reads of one open file come from one audio thread at a time.
    static std::chrono::steady_clock::time_point t0;
    const off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos == 0)
        t0 = std::chrono::steady_clock::now();
    const double seconds = static_cast<double>(pos) / (2.0 * kRate);
    std::this_thread::sleep_until(t0 +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(seconds)));
}

} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t bytes) {
    using Read = ssize_t (*)(int, void*, size_t);
    static const Read real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    if (g_pacedInode.load(std::memory_order_relaxed) != 0)
        PaceRead(fd);
    return real(fd, buffer, bytes);
}

namespace fs = std::filesystem;

// A private directory with a recording and an ALSA configuration whose default capture
// device reads it, made current for this process through ALSA_CONFIG_PATH before PortAudio
// and ALSA initialise (each test runs in a process of its own).
struct FileFedDevice {
    fs::path dir = testalsa::ScratchDir();
    fs::path raw = dir / "recording.raw";

    FileFedDevice(double hz, double seconds) {
        WriteTone(raw, hz, seconds, 6000.0);
        testalsa::UseDefaultDevice(dir / "asoundrc", raw.string());
        struct stat st {};
        stat(raw.c_str(), &st);
        g_pacedInode.store(st.st_ino);
    }
    ~FileFedDevice() {
        g_pacedInode.store(0);
        fs::remove_all(dir);
    }
};

TEST(PortAudioEndToEnd, FileFedCaptureDeviceNamesTheRecordedNote) {
    FileFedDevice device(220.0, 20.0); // A3

    Window window;
    ReporterLog reporter;
    {
        TunerEngine engine; // PortAudio
        window.engine = &engine;
        if (engine.GetDeviceCount() == 0) {
            GTEST_SKIP() << "PortAudio lists no ALSA capture device for the file-fed "
                            "configuration (ALSA or its file/null plugins missing)";
        }
        SetPortAudioCallbackProbe(&Probe);
        TunerSettings settings;
        ASSERT_TRUE(StartRecording(engine, settings, &Window::OnFrame, &window, reporter));
        EXPECT_TRUE(reporter.warnings.empty());
        EXPECT_EQ(engine.GetSampleRate(), 11025);
        EXPECT_EQ(engine.GetFrameLength(), 1024);
        WaitFor([&] { return window.pitched.load() >= 100; }, 6000);
        EXPECT_TRUE(engine.Stop());
        SetPortAudioCallbackProbe(nullptr);
    }

    ASSERT_GT(g_callbacks.load(), 0) << "the PortAudio callback never ran";
    const auto [best, tally] = window.MostFrequent();
    ASSERT_GE(window.pitched.load(), 50) << "frames analysed: " << window.frames.load();
    EXPECT_EQ(best, std::make_pair(9, 3)) << "A3 expected";
    EXPECT_GT(tally.frames, window.pitched.load() * 8 / 10);
    // In tune: a wrong rate or lost samples would not be.
    EXPECT_NEAR(tally.cents / tally.frames, 0.0, 3.0);
#if TARVO_COUNT_CALLBACK_CALLS
    EXPECT_EQ(g_allocations.load(), 0) << "allocations inside the PortAudio callback";
    EXPECT_EQ(g_locks.load(), 0) << "mutex locks inside the PortAudio callback";
#endif
}

TEST(PortAudioEndToEnd, AHangingDeviceIsNoSoundCardRatherThanAFrozenWindow) {
    testalsa::HangingDevice device;
    SetPortAudioWaitLimit(800);
    TunerEngine engine(CreatePortAudioWaveIn());
    Window window;
    window.engine = &engine;
    ReporterLog reporter;
    EXPECT_FALSE(StartRecording(engine, TunerSettings{}, &Window::OnFrame, &window, reporter));
    ASSERT_EQ(reporter.warnings.size(), 1u);
    EXPECT_EQ(reporter.warnings[0].first, kNoDeviceTitle);
    EXPECT_EQ(reporter.lines, std::vector<std::string>{kNoDeviceLog});
    SetPortAudioWaitLimit(5000);
}
