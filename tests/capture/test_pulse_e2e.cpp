// The sound-server service through a real PulseAudio: a private server in a scratch folder,
// with null sinks into which pacat plays known tones, and sources named like microphones that
// record what each sink plays. Each test runs in a process of its own (PULSE_SERVER points at
// its server). Tests skip where no server can run.

#include "CaptureTestUtil.h"
#include "capture/PulseWaveIn.h"
#include "capture/RecordingDevices.h"
#include "model/TunerSettings.h"
#include "tests/common/CallbackCalls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 11025;
constexpr double kA3 = 220.0, kE4 = 329.6276;
const std::pair<int, int> kNoteA3{9, 3}, kNoteE4{4, 4};

bool Sh(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// Runs `command` every 25 ms until it succeeds or `timeoutMs` pass.
bool ShUntil(const std::string& command, int timeoutMs = 5000) {
    return WaitFor(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            return Sh(command);
        },
        timeoutMs);
}

// A private PulseAudio with nothing but its socket, in a fresh folder; stopped and removed at
// the end. `why` says why none runs.
class PrivateServer {
public:
    PrivateServer() {
        if (!Sh("command -v pulseaudio && command -v pactl && command -v pacat")) {
            why = "pulseaudio, pactl or pacat not installed (setup.sh installs them where the "
                  "machine has no sound server of its own)";
            return;
        }
        char name[] = "/tmp/tarvo-pulse-XXXXXX";
        if (mkdtemp(name) == nullptr) {
            why = "no scratch folder";
            return;
        }
        m_dir = name;
        const std::string socket = (m_dir / "native").string();
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        m_pid = fork();
        if (m_pid == 0) {
            // The server's own files go to the scratch folder, not the user's.
            setenv("HOME", m_dir.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
            const std::string native =
                "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
            execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                   "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                   "--log-level=error", "-L", native.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (!ShUntil("pactl info", 10000))
            why = "the private PulseAudio did not start";
    }

    ~PrivateServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    // A null sink with a tone of `hz` playing into it, and a source `source` described as
    // `description` that records what the sink plays, like a microphone in front of it.
    void AddMicrophone(const std::string& source, const std::string& description, double hz) {
        const std::string sink = source + "-room";
        ASSERT_TRUE(Sh("pactl load-module module-null-sink rate=44100 channels=1 sink_name=" +
                       sink + " sink_properties=device.description=" + sink));
        const fs::path tone = m_dir / (sink + ".raw");
        WriteTone(tone, hz, 60.0, 5000.0);
        ASSERT_TRUE(Sh("pacat --playback -d " + sink + " --latency-msec=20 --format=s16le " +
                       "--rate=11025 --channels=1 " + tone.string() + " &"));
        // A null sink renders in long blocks until a suspend makes it take the player's latency.
        ASSERT_TRUE(ShUntil("pactl list sink-inputs | grep -q " + tone.filename().string()));
        ASSERT_TRUE(Sh("pactl suspend-sink " + sink + " 1 && pactl suspend-sink " + sink + " 0"));
        LoadSource(source, description);
    }

    void LoadSource(const std::string& source, const std::string& description) {
        ASSERT_TRUE(Sh("pactl load-module module-remap-source source_name=" + source +
                       " master=" + source + "-room.monitor \"source_properties=\\\"" +
                       "device.description='" + description + "'\\\"\""));
    }

    void RemoveSource(const std::string& source) {
        ASSERT_TRUE(Sh("pactl unload-module $(pactl list short modules | grep 'source_name=" +
                       source + " ' | cut -f1)"));
    }

    std::string why;

private:
    fs::path m_dir;
    pid_t m_pid = -1;
};

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.why.empty())
            GTEST_SKIP() << "no private sound server: " << server.why;
    }

    // Connects and starts recording with `settings`, as the window does.
    void Start(TunerSettings& settings) {
        service = CreatePulseWaveIn();
        ASSERT_NE(service, nullptr) << "the private server did not answer";
        engine = std::make_unique<TunerEngine>(service);
        window.engine = engine.get();
        FindRememberedDevice(*service, settings, reporter, reported);
        ASSERT_TRUE(StartRecording(*engine, settings, &Window::OnFrame, &window, reporter));
    }

    // The note most of the next `frames` pitched frames name.
    std::pair<int, int> NextNote(int frames = 60) {
        window.Clear();
        EXPECT_TRUE(WaitFor([&] { return window.pitched.load() >= frames; }, 10000))
            << window.pitched.load() << " frames";
        return window.MostFrequent().first;
    }

    PrivateServer server;
    std::shared_ptr<WaveInService> service;
    Window window;
    std::unique_ptr<TunerEngine> engine;
    ReporterLog reporter;
    std::string reported;
};

} // namespace

TEST_F(PulseTest, SourcesAreListedInputsFirstAndThePreferredOneRecordsAndFollowsTheDefault) {
    server.AddMicrophone("scarlett", "Scarlett 2i2 USB Analog Stereo", kA3);
    server.AddMicrophone("webcam", "HD Webcam C270 Mono", kE4);
    ASSERT_TRUE(Sh("pactl set-default-source scarlett"));
    TunerSettings settings; // the preferred device
    SetPulseReadProbe(&Probe);
    Start(settings);
    ASSERT_NE(service->DeviceList(), nullptr);
    std::vector<std::string> descriptions;
    for (const RecordingDeviceInfo& d : service->DeviceList()->RecordingDevices()) {
        descriptions.push_back(d.description);
        EXPECT_EQ(d.formats, 0xFFFu) << d.description; // the server converts to any of them
        EXPECT_EQ(d.channels, 1) << d.description;
    }
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"Scarlett 2i2 USB Analog Stereo", "HD Webcam C270 Mono",
                                        "Monitor of scarlett-room", "Monitor of webcam-room"}));
    EXPECT_EQ(service->DeviceNames(),
              (std::vector<std::string>{"scarlett", "webcam", "scarlett-room.monitor",
                                        "webcam-room.monitor"}));
    EXPECT_EQ(service->GetNumDevs(), 4);
    EXPECT_EQ(engine->GetSampleRate(), kRate);
    EXPECT_EQ(NextNote(), kNoteA3);
    const auto [note, tally] = window.MostFrequent();
    EXPECT_GT(tally.frames, window.pitched.load() * 9 / 10);
    EXPECT_NEAR(tally.cents / tally.frames, 0.0, 3.0); // a wrong rate or lost samples would not be

    ASSERT_TRUE(Sh("pactl set-default-source webcam"));
    RecordingDeviceInfo preferred;
    EXPECT_TRUE(WaitFor([&] {
        return service->DeviceList()->PreferredRecordingDevice(preferred) &&
               preferred.name == "webcam";
    }));
    EXPECT_EQ(NextNote(), kNoteE4);
    EXPECT_TRUE(reporter.lines.empty());
    SetPulseReadProbe(nullptr);
    // The read callback, libpulse's part of it included, only copies, counts and signals.
    EXPECT_GT(g_callbacks.load(), 0);
#if TARVO_COUNT_CALLBACK_CALLS
    EXPECT_EQ(g_allocations.load(), 0) << "allocations inside the read callback";
    EXPECT_EQ(g_locks.load(), 0) << "mutex locks inside the read callback";
#endif
}

TEST_F(PulseTest, TheRememberedNameBeatsItsOldPositionSurvivesAnUnplugAndFallsBackWhenGone) {
    server.AddMicrophone("scarlett", "Scarlett", kA3);
    server.AddMicrophone("webcam", "Webcam", kE4);
    ASSERT_TRUE(Sh("pactl set-default-source scarlett"));
    TunerSettings settings;
    settings.SetRecordingDevice(1); // where the webcam was before the Scarlett came
    settings.SetRecordingDeviceName("webcam");
    Start(settings);
    EXPECT_EQ(settings.GetRecordingDevice(), 2);
    EXPECT_EQ(engine->GetDevice(), 2);
    EXPECT_EQ(NextNote(), kNoteE4);

    // Unplugged while recording: not moved to the Scarlett, nothing arrives until it is back.
    server.RemoveSource("webcam");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint64_t taken = engine->Capture().GetStats().buffersTaken;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(engine->Capture().GetStats().buffersTaken, taken);
    EXPECT_EQ(service->GetNumDevs(), 3);
    server.LoadSource("webcam", "Webcam");
    EXPECT_EQ(NextNote(), kNoteE4);
    EXPECT_TRUE(engine->IsRunning());
    EXPECT_EQ(service->GetNumDevs(), 4);

    settings.SetRecordingDeviceName("usb-interface-unplugged");
    for (int i = 0; i < 2; ++i) { // a second start does not log it again
        FindRememberedDevice(*service, settings, reporter, reported);
        ASSERT_TRUE(StartRecording(*engine, settings, &Window::OnFrame, &window, reporter));
    }
    EXPECT_EQ(engine->GetDevice(), 0);
    EXPECT_EQ(NextNote(), kNoteA3);
    EXPECT_EQ(reporter.lines,
              std::vector<std::string>{"The recording device usb-interface-unplugged is not "
                                       "present, using the preferred recording device"});
    EXPECT_EQ(settings.GetRecordingDeviceName(), "usb-interface-unplugged");
}

// No server at all, and one that accepts the connection but never answers: both give up
// (after the time-out), and the tuner records through PortAudio.
TEST(PulseFallback, NoServerOrAHangingOneGivesUp) {
    char name[] = "/tmp/tarvo-pulse-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string path = std::string(name) + "/native";
    setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);
    EXPECT_EQ(CreatePulseWaveIn(300), nullptr);
    EXPECT_NE(CreateSystemWaveIn(), nullptr);

    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    EXPECT_EQ(CreatePulseWaveIn(300), nullptr);
    close(listener);
    fs::remove_all(name);
}
