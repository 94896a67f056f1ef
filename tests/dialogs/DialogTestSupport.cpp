#include "DialogTestSupport.h"
#include "tests/common/QtApp.h"

#include <QApplication>
#include <QTimer>

void OnModal(std::function<void(QWidget* modal)> body) {
    QTimer::singleShot(0, [body = std::move(body)] { body(QApplication::activeModalWidget()); });
}

namespace {

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new QtApp);

// Device -1 is the default entry, 0.. index the list; no entry or an empty one fails.
template <typename Caps>
bool FindCaps(int device, const std::optional<Caps>& fallback,
              const std::vector<std::optional<Caps>>& list, Caps& caps) {
    const std::optional<Caps>* found = nullptr;
    if (device == -1)
        found = &fallback;
    else if (device >= 0 && device < static_cast<int>(list.size()))
        found = &list[static_cast<size_t>(device)];
    if (!found || !*found)
        return false;
    caps = **found;
    return true;
}

} // namespace

bool FakeDevices::GetWaveInCaps(int device, WaveInCaps& caps) {
    waveInQueries.push_back(device);
    return FindCaps(device, defaultWaveIn, waveIn, caps);
}

bool FakeDevices::GetMidiOutCaps(int device, MidiOutCaps& caps) {
    return FindCaps(device, defaultMidiOut, midiOut, caps);
}

FakeDevices SampleDevices() {
    FakeDevices devices;
    const WaveInCaps mic{"Built-in Audio Analog Stereo", 0xFFF, 2, {}};
    devices.waveIn = {mic, WaveInCaps{"USB Microphone",
                                      WaveFormat::k1M16 | WaveFormat::k2M16 | WaveFormat::k4M16, 1,
                                      0x0102}};
    devices.defaultWaveIn = mic;
    const MidiOutCaps synth{"Soft Synth", MidiTechnology::kSynth, 24, 32, 0x0100};
    devices.midiOut = {synth};
    devices.defaultMidiOut = synth;
    return devices;
}

WindowActions WindowRecorder::Actions() {
    WindowActions actions;
    actions.setConcertAText = [this](const QString& text) { buttonTexts.push_back(text); };
    actions.setEngineConcertA = [this](float hz) { engineConcertA.push_back(hz); };
    actions.colorsChanged = [this] { ++colorsChanged; };
    actions.restartRecording = [this] { ++restarts; };
    return actions;
}
