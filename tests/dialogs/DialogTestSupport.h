#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QWidget>

#include "dialogs/DeviceEnumerator.h"
#include "dialogs/DialogFlow.h"

// Runs `body` on the modal dialog that the next event-loop turn finds open.
void OnModal(std::function<void(QWidget* modal)> body);

// Device lists made up by the test; an empty optional capability record makes the query fail.
class FakeDevices : public DeviceEnumerator {
public:
    std::vector<std::optional<WaveInCaps>> waveIn;
    std::optional<WaveInCaps> defaultWaveIn;
    std::vector<std::optional<MidiOutCaps>> midiOut;
    std::optional<MidiOutCaps> defaultMidiOut;
    std::vector<int> waveInQueries;

    int WaveInCount() override { return static_cast<int>(waveIn.size()); }
    bool GetWaveInCaps(int device, WaveInCaps& caps) override;
    int MidiOutCount() override { return static_cast<int>(midiOut.size()); }
    bool GetMidiOutCaps(int device, MidiOutCaps& caps) override;
};

// Two recording devices (a stereo one with every format, the default, and a USB microphone with
// 16-bit mono and a driver version) and one MIDI synthesizer.
FakeDevices SampleDevices();

// Counts what the dialogs ask the main window to do.
struct WindowRecorder {
    std::vector<QString> buttonTexts;
    std::vector<float> engineConcertA;
    int colorsChanged = 0;
    int restarts = 0;
    WindowActions Actions();
};
