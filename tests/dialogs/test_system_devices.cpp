// The PortAudio / ALSA sequencer lists on a machine without a sound card: an ALSA configuration
// of our own gives exactly one recording device, the null device, and no sequencer.
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "dialogs/DeviceEnumerator.h"

TEST(SystemDevices, NullRecordingDeviceAndNoSequencer) {
    const std::string config = TARVO_BINARY_DIR "/dialogs-null-alsa.conf";
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
}
