#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>
#include <QString>
#include <QWidget>

#include "display/ColorSwatch.h"
#include "model/TunerSettings.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QTabWidget;
class DeviceEnumerator;

// The four colours of the colour scheme, 0x00BBGGRR, in scheme order: needle, high energy, low
// energy, text.
using ColorArray = std::array<uint32_t, 4>;

// Default colour scheme, in scheme order.
constexpr ColorArray kDefaultColors = {kDefaultNeedleColor, kDefaultHighEnergyColor,
                                       kDefaultLowEnergyColor, kDefaultTextColor};

// The Colors page: four swatches, each opening the colour chooser when pressed and released on
// the same swatch, and a button restoring the default scheme. Changes stay on the page until
// the sheet applies them.
class ColorsPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 112;
    static constexpr int IDC_NEEDLE = 1006;
    static constexpr int IDC_HIGH_ENERGY = 1007;
    static constexpr int IDC_LOW_ENERGY = 1008;
    static constexpr int IDC_TEXT = 1009;
    static constexpr int IDC_RESTORE = 1015;

    explicit ColorsPage(const ColorArray& colors, QWidget* parent = nullptr);

    const ColorArray& Colors() const { return m_colors; }
    void SetModified(bool modified);

    // The colour chooser: true and `chosen` set when the user picks a colour. Replaceable so
    // tests need not answer a modal chooser; an empty function restores QColorDialog.
    using ColorChooser = std::function<bool(QWidget* parent, uint32_t initial, uint32_t& chosen)>;
    static void SetColorChooser(ColorChooser chooser);

signals:
    void ModifiedChanged(bool modified);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int SwatchAt(const QPoint& pos) const;
    void ChooseColor(int swatch);
    void OnRestoreDefaults();

    ColorArray m_colors;
    std::array<ColorSwatch, 4> m_swatches;
    int m_nPressed = 0;
};

// The Devices page: recording and MIDI output device choices with what each device can do. Its
// controls are built and filled the first time the page is shown; until then the indexes stay
// as they were given.
class DevicesPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 113;
    static constexpr int IDC_RECORDING_PROPS = 1011;
    static constexpr int IDC_MIDI_PROPS = 1012;
    static constexpr int IDC_RECORDING = 1013;
    static constexpr int IDC_MIDI = 1014;

    // Indexes: 0 = the preferred device, k >= 1 = system device k - 1, -1 = no selection.
    DevicesPage(DeviceEnumerator& devices, int midiIndex, int recordingIndex,
                QWidget* parent = nullptr);

    int MidiIndex() const { return m_nMidiIndex; }
    int RecordingIndex() const { return m_nRecordingIndex; }
    // The name the chosen recording device is remembered by; "" for the preferred device.
    std::string RecordingDeviceName() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Start();
    void RefreshRecording();
    void RefreshMidi();

    DeviceEnumerator& m_devices;
    int m_nMidiIndex;
    int m_nRecordingIndex;
    bool m_bStarted = false;
    int m_nMidiCount = 0;
    QComboBox* m_pRecording = nullptr;
    QComboBox* m_pMidi = nullptr;
    QListWidget* m_pRecordingList = nullptr;
    QListWidget* m_pMidiList = nullptr;
};

// What OK of the Options sheet hands to the caller.
struct OptionsResult {
    ColorArray colors;
    int midiDevice;
    int recordingDevice;
    std::string recordingDeviceName = {}; // "" for the preferred device
};

// The modal "Options" sheet: Colors then Devices, opening on Colors, with OK, Cancel and Apply.
// Apply hands the page's colours on through ColorsApplied and disables itself until the next
// colour change; OK leaves the results in the accessors for the caller to apply.
class OptionsSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_OK = 1;
    static constexpr int IDC_CANCEL = 2;
    static constexpr int IDC_APPLY = 12321;

    OptionsSheet(const ColorArray& colors, int midiDevice, int recordingDevice,
                 DeviceEnumerator& devices, QWidget* parent = nullptr);

    OptionsResult Result() const {
        return {m_pColors->Colors(), m_pDevices->MidiIndex(), m_pDevices->RecordingIndex(),
                m_pDevices->RecordingDeviceName()};
    }

signals:
    // Apply: the colours to put into effect now (the colour-change message to the main window).
    void ColorsApplied(const ColorArray& colors);

private:
    void OnApply();

    ColorsPage* m_pColors;
    DevicesPage* m_pDevices;
    QTabWidget* m_pTabs;
    QPushButton* m_pApply;
};
