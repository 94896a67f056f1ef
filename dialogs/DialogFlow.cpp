#include "dialogs/DialogFlow.h"

#include <optional>

#include "dialogs/ConcertADialog.h"
#include "dialogs/DeviceEnumerator.h"

ColorArray ToColorArray(const ColorScheme& scheme) {
    return {scheme.needleColor, scheme.highEnergyColor, scheme.lowEnergyColor, scheme.textColor};
}

ColorScheme ToColorScheme(const ColorArray& colors) {
    ColorScheme scheme;
    scheme.needleColor = colors[0];
    scheme.highEnergyColor = colors[1];
    scheme.lowEnergyColor = colors[2];
    scheme.textColor = colors[3];
    return scheme;
}

bool RunConcertADialog(QWidget* parent, TunerSettings& settings, const WindowActions& actions) {
    ConcertADialog dialog(settings.GetConcertA(), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ApplyConcertA(dialog.Value(), settings, actions);
    return true;
}

void ApplyConcertA(float hz, TunerSettings& settings, const WindowActions& actions) {
    settings.SetConcertA(hz);
    if (actions.setConcertAText)
        actions.setConcertAText(QString::fromStdString(ConcertAButtonText(hz)));
    if (actions.setEngineConcertA)
        actions.setEngineConcertA(hz);
}

namespace {

std::optional<OptionsResult> RunSheet(QWidget* parent, TunerSettings& settings,
                                      DeviceEnumerator& devices, const WindowActions& actions) {
    OptionsSheet sheet(ToColorArray(settings.GetColors()), settings.GetMidiDevice(),
                       settings.GetRecordingDevice(), devices, parent);
    QObject::connect(&sheet, &OptionsSheet::ColorsApplied,
                     [&](const ColorArray& colors) { ApplyColors(colors, settings, actions); });
    if (sheet.exec() != QDialog::Accepted)
        return std::nullopt;
    return sheet.Result();
}

} // namespace

bool RunOptionsSheet(QWidget* parent, TunerSettings& settings, DeviceEnumerator& devices,
                     const WindowActions& actions) {
    const std::optional<OptionsResult> result = RunSheet(parent, settings, devices, actions);
    if (!result)
        return false;
    ApplyOptions(*result, settings, actions);
    return true;
}

bool RunOptionsSheet(QWidget* parent, TunerSettings& settings, const WindowActions& actions,
                     RecordingDeviceList* recording) {
    std::optional<OptionsResult> result;
    {
        // The device lists let go of the audio services before recording may restart.
        const auto devices = MakeSystemDeviceEnumerator(recording);
        result = RunSheet(parent, settings, *devices, actions);
    }
    if (!result)
        return false;
    ApplyOptions(*result, settings, actions);
    return true;
}

void ApplyColors(const ColorArray& colors, TunerSettings& settings, const WindowActions& actions) {
    settings.SetColors(ToColorScheme(colors));
    if (actions.colorsChanged)
        actions.colorsChanged();
}

bool ApplyOptions(const OptionsResult& result, TunerSettings& settings,
                  const WindowActions& actions) {
    settings.SetColors(ToColorScheme(result.colors));
    const int32_t oldRecording = settings.GetRecordingDevice();
    settings.SetMidiDevice(result.midiDevice);
    settings.SetRecordingDevice(result.recordingDevice);
    const bool changed = settings.GetRecordingDevice() != oldRecording;
    // An unchanged choice keeps its name: the remembered device may only be unplugged for now.
    if (changed)
        settings.SetRecordingDeviceName(result.recordingDeviceName);
    const bool restart = changed || (actions.recordingSilent && actions.recordingSilent());
    if (restart && actions.restartRecording)
        actions.restartRecording();
    if (actions.colorsChanged)
        actions.colorsChanged();
    return restart;
}
