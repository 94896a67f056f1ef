#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include "DialogTestSupport.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/OptionsSheet.h"

namespace {

class DevicesTest : public ::testing::Test {
protected:
    // The sheet's Devices page, shown.
    static DevicesPage* ShowDevices(QWidget* sheet) {
        sheet->show();
        sheet->findChild<QTabWidget*>()->setCurrentIndex(1);
        return sheet->findChild<DevicesPage*>();
    }
    static QComboBox* Combo(const QWidget* page, int id) {
        return FindControl<QComboBox>(page, id);
    }
    static QStringList List(const QWidget* page, int id) {
        const auto* list = FindControl<QListWidget>(page, id);
        QStringList lines;
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
        return lines;
    }

    FakeDevices devices = SampleDevices();
    TunerSettings settings;
    WindowRecorder window;
};

} // namespace

TEST_F(DevicesTest, RecordingDevicesInSystemOrderWithTheirFormatsAndTheMidiOutputsProperties) {
    OptionsSheet sheet(kDefaultColors, 1, 0, devices);
    DevicesPage* page = ShowDevices(&sheet);
    EXPECT_EQ(Combo(page, DevicesPage::IDC_MIDI)->itemText(1), "Soft Synth");
    EXPECT_EQ(List(page, DevicesPage::IDC_MIDI_PROPS),
              (QStringList{"No FM support", "MIDI Synthesizer detected", "Simultaneous notes:\t32",
                           "Number of voices:\t\t24", "Driver version:\t\t1.0"}));
    QComboBox* combo = Combo(page, DevicesPage::IDC_RECORDING);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), "USB Microphone");
    // The preferred entry shows the default device.
    const QStringList header = {"\t8-bit\t\t16-bit", "Rate\tMono\tStereo\tMono\tStereo"};
    EXPECT_EQ(List(page, DevicesPage::IDC_RECORDING_PROPS),
              (header + QStringList{"8K\tYes\tYes\tYes\tYes", "11K\tYes\tYes\tYes\tYes",
                                    "16K\tYes\tYes\tYes\tYes", "22K\tYes\tYes\tYes\tYes",
                                    "32K\tYes\tYes\tYes\tYes", "44K\tYes\tYes\tYes\tYes",
                                    "48K\tYes\tYes\tYes\tYes", "Number of Channels:\t2"}));
    combo->setCurrentIndex(2);
    EXPECT_EQ(devices.waveInQueries.back(), 1); // list index 2 is device number 1
    EXPECT_EQ(
        List(page, DevicesPage::IDC_RECORDING_PROPS),
        (header + QStringList{"8K\tNo\tNo\tYes\tNo", "11K\tNo\tNo\tYes\tNo", "16K\tNo\tNo\tYes\tNo",
                              "22K\tNo\tNo\tYes\tNo", "32K\tNo\tNo\tYes\tNo",
                              "44K\tNo\tNo\tYes\tNo", "48K\tNo\tNo\tYes\tNo",
                              "Number of Channels:\t1", "Driver Version:\t1.2"}));
    // Choosing a device does not enable Apply.
    EXPECT_FALSE(FindControl(&sheet, OptionsSheet::IDC_APPLY)->isEnabled());
}

TEST_F(DevicesTest, OkRestartsRecordingOnlyWhenTheRecordingDeviceChangedOrFellSilent) {
    const auto run = [&](int midi, int recording, const WindowActions& actions) {
        OnModal([=](QWidget* sheet) {
            DevicesPage* page = ShowDevices(sheet);
            Combo(page, DevicesPage::IDC_MIDI)->setCurrentIndex(midi);
            Combo(page, DevicesPage::IDC_RECORDING)->setCurrentIndex(recording);
            FindControl<QPushButton>(sheet, OptionsSheet::IDC_OK)->click();
        });
        EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, actions));
    };
    run(1, 0, window.Actions()); // MIDI only
    EXPECT_EQ(settings.GetMidiDevice(), 1);
    EXPECT_EQ(window.restarts, 0);
    run(1, 2, window.Actions()); // the second recording device, remembered by its name too
    EXPECT_EQ(settings.GetRecordingDevice(), 2);
    EXPECT_EQ(settings.GetRecordingDeviceName(), "USB Microphone");
    EXPECT_EQ(window.restarts, 1);
    settings.SetRecordingDeviceName("unplugged for now");
    run(0, 2, window.Actions()); // the same recording device again: its name stays
    EXPECT_EQ(settings.GetRecordingDeviceName(), "unplugged for now");
    EXPECT_EQ(window.restarts, 1);
    // ...unless that device had stopped sending audio: it may be plugged in again by now.
    WindowActions actions = window.Actions();
    actions.recordingSilent = [] { return true; };
    run(0, 2, actions);
    EXPECT_EQ(window.restarts, 2);
}
