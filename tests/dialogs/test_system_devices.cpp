// The PortAudio / ALSA sequencer lists on a machine without a sound card: an ALSA configuration
// of our own gives exactly one recording device, the null device, and no sequencer.
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "capture/PortAudioWaveIn.h"
#include "dialogs/DeviceEnumerator.h"

namespace {

// A fresh folder for an ALSA configuration. ALSA splits ALSA_CONFIG_PATH at white space, so it
// lies in /tmp rather than in a build tree whose path may hold a space.
std::string AlsaScratchDir() {
    char name[] = "/tmp/tarvo-dialogs-XXXXXX";
    return mkdtemp(name) ? name : "";
}

} // namespace

TEST(SystemDevices, NullRecordingDeviceAndNoSequencer) {
    const std::string dir = AlsaScratchDir();
    ASSERT_FALSE(dir.empty());
    const std::string config = dir + "/alsa.conf";
    {
        std::ofstream out(config);
        out << "pcm.!default {\n    type null\n}\n";
    }
    ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
    // Keep PortAudio from reaching for a JACK server.
    setenv("JACK_NO_START_SERVER", "1", 1);

    const auto devices = MakeSystemDeviceEnumerator();
    ASSERT_GE(devices->WaveInCount(), 1);
    EXPECT_FALSE(devices->WaveInName(0).empty());
    WaveInCaps caps;
    ASSERT_TRUE(devices->GetWaveInCaps(-1, caps));
    EXPECT_FALSE(caps.name.empty());
    ASSERT_TRUE(caps.channels.has_value());
    EXPECT_GE(*caps.channels, 1);
    // The null device takes 16-bit mono at 11025 Hz, the format recording opens first.
    EXPECT_TRUE(caps.formats & WaveFormat::k1M16) << caps.formats;
    EXPECT_FALSE(caps.driverVersion.has_value()); // PortAudio does not report one
    EXPECT_FALSE(devices->GetWaveInCaps(-2, caps));
    EXPECT_FALSE(devices->GetWaveInCaps(devices->WaveInCount(), caps));

    EXPECT_EQ(devices->MidiOutCount(), 0);
    MidiOutCaps midi;
    EXPECT_FALSE(devices->GetMidiOutCaps(-1, midi));
    EXPECT_FALSE(devices->GetMidiOutCaps(0, midi));
    std::filesystem::remove_all(dir);
}

TEST(SystemDevices, AHangingRecordingDeviceListsNothingInsteadOfFreezing) {
    // The default device's recording is a pipe nobody writes to: ALSA's open of it waits for a
    // writer, and PortAudio opens it while initialising.
    const std::string dir = AlsaScratchDir();
    ASSERT_FALSE(dir.empty());
    const std::string fifo = dir + "/never";
    const std::string config = dir + "/alsa.conf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        std::ofstream out(config);
        out << "pcm.!default {\n    type file\n    slave.pcm { type null }\n"
               "    file \"/dev/null\"\n    infile \""
            << fifo << "\"\n    format \"raw\"\n}\n";
    }
    ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    SetPortAudioWaitLimit(500);

    const auto before = std::chrono::steady_clock::now();
    {
        const auto devices = MakeSystemDeviceEnumerator();
        EXPECT_EQ(devices->WaveInCount(), 0);
        EXPECT_EQ(devices->WaveInName(0), "");
        WaveInCaps caps;
        EXPECT_FALSE(devices->GetWaveInCaps(-1, caps));
    }
    // One wait, not one per question, and closing the sheet does not wait again.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500));

    // Let the waiting open end so the probing thread finishes before the process does.
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        close(fd);
    SetPortAudioWaitLimit(5000);
    std::filesystem::remove_all(dir);
}
