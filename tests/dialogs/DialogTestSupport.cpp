#include "DialogTestSupport.h"

#include <QApplication>
#include <QListWidget>
#include <QTimer>

void EnsureApp() {
    static QApplication* app = nullptr;
    if (app)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_dialogs";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
}

void OnModal(std::function<void(QWidget* modal)> body) {
    QTimer::singleShot(0, [body = std::move(body)] { body(QApplication::activeModalWidget()); });
}

QStringList Lines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

bool FakeDevices::GetWaveInCaps(int device, WaveInCaps& caps) {
    waveInQueries.push_back(device);
    const std::optional<WaveInCaps>* found = nullptr;
    if (device == -1)
        found = &defaultWaveIn;
    else if (device >= 0 && device < static_cast<int>(waveIn.size()))
        found = &waveIn[static_cast<size_t>(device)];
    if (!found || !*found)
        return false;
    caps = **found;
    return true;
}

bool FakeDevices::GetMidiOutCaps(int device, MidiOutCaps& caps) {
    const std::optional<MidiOutCaps>* found = nullptr;
    if (device == -1)
        found = &defaultMidiOut;
    else if (device >= 0 && device < static_cast<int>(midiOut.size()))
        found = &midiOut[static_cast<size_t>(device)];
    if (!found || !*found)
        return false;
    caps = **found;
    return true;
}

WindowActions WindowRecorder::Actions() {
    WindowActions actions;
    actions.setConcertAText = [this](const QString& text) { buttonTexts.push_back(text); };
    actions.setEngineConcertA = [this](float hz) { engineConcertA.push_back(hz); };
    actions.colorsChanged = [this] { ++colorsChanged; };
    actions.restartRecording = [this] { ++restarts; };
    return actions;
}
