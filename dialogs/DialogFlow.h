#pragma once

#include <functional>

#include <QString>

#include "dialogs/OptionsSheet.h"
#include "model/TunerSettings.h"

class DeviceEnumerator;
class QWidget;
class RecordingDeviceList;

// What the main window does when a dialog's result is put into effect. The dialogs and this
// flow never reach into the engine or the instruments themselves; an empty function is skipped.
struct WindowActions {
    // The concert A button's text, e.g. "432.3 Hz".
    std::function<void(const QString& text)> setConcertAText;
    // The engine's SetConcertA: the analysis uses the new value from its next frame on.
    std::function<void(float hz)> setEngineConcertA;
    // The colour-change message (WM_USER + 1): the instruments take the colours now in the
    // settings and are redrawn at once.
    std::function<void()> colorsChanged;
    // The engine's Stop, then StartRecording with the settings' recording device.
    std::function<void()> restartRecording;
    // True while the recording device has stopped sending audio (unplugged, say): OK of the
    // options then restarts recording even on the same device, which may be back by now.
    std::function<bool()> recordingSilent;
};

ColorArray ToColorArray(const ColorScheme& scheme);
ColorScheme ToColorScheme(const ColorArray& colors);

// Concert A command: runs the dialog modally on the settings' concertA and, on OK, applies the
// result. True on OK.
bool RunConcertADialog(QWidget* parent, TunerSettings& settings, const WindowActions& actions);
// OK of the concert A dialog: settings, button text, engine.
void ApplyConcertA(float hz, TunerSettings& settings, const WindowActions& actions);

// Options command: runs the sheet modally (devices from `devices`) and, on OK, applies it.
// Apply on the sheet puts its colours into effect at once. True on OK.
bool RunOptionsSheet(QWidget* parent, TunerSettings& settings, DeviceEnumerator& devices,
                     const WindowActions& actions);
// The same with the system's devices: recording devices from `recording` (the list of the
// service recording opens them with) or else PortAudio's, MIDI outputs from the ALSA sequencer.
bool RunOptionsSheet(QWidget* parent, TunerSettings& settings, const WindowActions& actions,
                     RecordingDeviceList* recording = nullptr);

// Apply of the sheet: the colours go into the settings, then the colour-change message.
void ApplyColors(const ColorArray& colors, TunerSettings& settings, const WindowActions& actions);

// OK of the sheet: colours and device choices go into the settings (a changed recording device
// with its name); recording restarts only when the recording device changed; the instruments
// take the colours. Returns whether recording was restarted.
bool ApplyOptions(const OptionsResult& result, TunerSettings& settings,
                  const WindowActions& actions);
