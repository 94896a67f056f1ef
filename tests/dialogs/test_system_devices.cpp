// The PortAudio / ALSA sequencer lists on a machine without a sound card: an ALSA configuration
// of our own gives exactly one recording device, the null device, and no sequencer.
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "capture/PortAudioWaveIn.h"
#include "capture/RecordingDevices.h"
#include "dialogs/DeviceEnumerator.h"
#include "tests/common/AlsaDevices.h"

TEST(SystemDevices, NullRecordingDeviceAndNoSequencer) {
    const std::filesystem::path dir = testalsa::ScratchDir();
    ASSERT_FALSE(dir.empty());
    testalsa::UseDefaultDevice(dir / "asoundrc");
    // What is listed is the point here; a sanitizer build on a busy machine can take longer than
    // the window's patience to probe every format.
    SetPortAudioWaitLimit(60000);

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
    const testalsa::HangingDevice device;
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
    SetPortAudioWaitLimit(5000);
}

TEST(SystemDevices, ASoundServersOwnListGivesTheRecordingSide) {
    struct Sources : RecordingDeviceList {
        std::vector<RecordingDeviceInfo> RecordingDevices() override {
            return {{"Scarlett 2i2 USB Analog Stereo", "alsa_input.usb-scarlett", 0xFFF, 2},
                    {"Monitor of Built-in Audio", "alsa_output.pci.monitor", 0xFFF, 2}};
        }
        bool PreferredRecordingDevice(RecordingDeviceInfo& info) override {
            info = RecordingDevices()[0];
            return true;
        }
    } sources;
    const auto devices = MakeSystemDeviceEnumerator(&sources);
    ASSERT_EQ(devices->WaveInCount(), 2);
    EXPECT_EQ(devices->WaveInName(1), "Monitor of Built-in Audio");
    EXPECT_EQ(devices->WaveInKey(1), "alsa_output.pci.monitor");
    WaveInCaps caps;
    ASSERT_TRUE(devices->GetWaveInCaps(-1, caps));
    EXPECT_EQ(caps.name, "Scarlett 2i2 USB Analog Stereo");
    EXPECT_EQ(caps.formats, 0xFFFu);
    EXPECT_EQ(caps.channels, 2);
    EXPECT_FALSE(caps.driverVersion.has_value());
    EXPECT_FALSE(devices->GetWaveInCaps(2, caps));
}
