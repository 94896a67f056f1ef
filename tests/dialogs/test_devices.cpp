#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include "DialogTestSupport.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/OptionsSheet.h"

namespace {

const QString kHeader0 = "\t8-bit\t\t16-bit";
const QString kHeader1 = "Rate\tMono\tStereo\tMono\tStereo";

WaveInCaps Wave(const char* name, uint32_t formats, uint16_t channels,
                std::optional<uint32_t> version = std::nullopt) {
    WaveInCaps caps;
    caps.name = name;
    caps.formats = formats;
    caps.channels = channels;
    caps.driverVersion = version;
    return caps;
}

MidiOutCaps Midi(const char* name, int technology, uint16_t voices, uint16_t notes,
                 std::optional<uint32_t> version = std::nullopt) {
    MidiOutCaps caps;
    caps.name = name;
    caps.technology = technology;
    caps.voices = voices;
    caps.notes = notes;
    caps.driverVersion = version;
    return caps;
}

QStringList ComboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

class DevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        devices.waveIn = {Wave("USB Microphone", WaveFormat::k1M16 | WaveFormat::k4M16, 1),
                          Wave("Line In", 0xFFF, 2, 0x050A)};
        devices.defaultWaveIn = Wave("default", WaveFormat::k1M16, 2);
        devices.midiOut = {Midi("Through Port", 0, 0, 0), Midi("Soft Synth", 2, 24, 32, 0x0100)};
        devices.defaultMidiOut = Midi("Through Port", 0, 0, 0);
    }

    // A shown sheet turned to its Devices page.
    std::unique_ptr<OptionsSheet> ShowDevices(int midi, int recording) {
        auto sheet = std::make_unique<OptionsSheet>(kDefaultColors, midi, recording, devices);
        sheet->show();
        sheet->Tabs()->setCurrentIndex(1);
        return sheet;
    }

    FakeDevices devices;
    TunerSettings settings;
    WindowRecorder window;
};

} // namespace

TEST_F(DevicesTest, LayoutOfThePage) {
    auto sheet = ShowDevices(0, 0);
    DevicesPage* page = sheet->Devices();
    const DialogUnits du(page->font());
    EXPECT_EQ(page->size(), QSize(du.X(260), du.Y(141)));
    EXPECT_EQ(FindControl(page, 1013), page->RecordingCombo());
    EXPECT_EQ(FindControl(page, 1014), page->MidiCombo());
    EXPECT_EQ(FindControl(page, 1011), page->RecordingList());
    EXPECT_EQ(FindControl(page, 1012), page->MidiList());
    EXPECT_EQ(page->RecordingList()->geometry(), du.Rect(7, 38, 120, 96));
    EXPECT_EQ(page->MidiList()->geometry(), du.Rect(133, 38, 120, 96));
    EXPECT_EQ(page->RecordingCombo()->pos(), QPoint(du.X(7), du.Y(20)));
    EXPECT_EQ(page->MidiCombo()->pos(), QPoint(du.X(133), du.Y(20)));
    EXPECT_TRUE(page->RecordingCombo()->isVisible());
    EXPECT_TRUE(page->MidiList()->isVisible());
    EXPECT_FALSE(page->RecordingList()->isEnabled());
    EXPECT_FALSE(page->MidiList()->isEnabled());
    QStringList labels;
    for (const QLabel* label : page->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("Recording Device:"));
    EXPECT_TRUE(labels.contains("Midi Output Device:"));
}

TEST_F(DevicesTest, TwoRecordingDevicesInSystemOrder) {
    auto sheet = ShowDevices(0, 0);
    DevicesPage* page = sheet->Devices();
    EXPECT_EQ(ComboItems(page->RecordingCombo()),
              (QStringList{"Preferred recording device", "USB Microphone", "Line In"}));
    EXPECT_EQ(page->RecordingCombo()->currentIndex(), 0);
    // The preferred entry shows the default device.
    EXPECT_EQ(
        Lines(page->RecordingList()),
        (QStringList{kHeader0, kHeader1, "8K\tNo\tNo\tYes\tNo", "11K\tNo\tNo\tYes\tNo",
                     "16K\tNo\tNo\tNo\tNo", "22K\tNo\tNo\tNo\tNo", "32K\tNo\tNo\tNo\tNo",
                     "44K\tNo\tNo\tNo\tNo", "48K\tNo\tNo\tNo\tNo", "Number of Channels:\t2"}));

    page->RecordingCombo()->setCurrentIndex(2);
    EXPECT_EQ(page->RecordingIndex(), 2);
    EXPECT_EQ(devices.waveInQueries.back(), 1); // list index 2 is device number 1
    // Choosing a device does not enable Apply.
    EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
}

TEST_F(DevicesTest, DeviceWithEveryFormatAndADriverVersion) {
    devices.waveIn[0] = Wave("All 11K", 0xF, 2, 0x050A);
    auto sheet = ShowDevices(0, 1);
    EXPECT_EQ(Lines(sheet->Devices()->RecordingList()),
              (QStringList{kHeader0, kHeader1, "8K\tYes\tYes\tYes\tYes", "11K\tYes\tYes\tYes\tYes",
                           "16K\tNo\tNo\tNo\tNo", "22K\tNo\tNo\tNo\tNo", "32K\tNo\tNo\tNo\tNo",
                           "44K\tNo\tNo\tNo\tNo", "48K\tNo\tNo\tNo\tNo", "Number of Channels:\t2",
                           "Driver Version:\t5.10"}));
}

TEST_F(DevicesTest, RateLinesReadTheirOwnFormatFamily) {
    using namespace WaveFormat;
    devices.waveIn[0] = Wave("Mixed", k1S08 | k2M08 | k2S16 | k4S08 | k4M16, 2);
    auto sheet = ShowDevices(0, 1);
    const QStringList lines = Lines(sheet->Devices()->RecordingList());
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[3], "11K\tNo\tYes\tNo\tNo");
    EXPECT_EQ(lines[4], "16K\tYes\tNo\tNo\tYes");
    EXPECT_EQ(lines[5], "22K\tYes\tNo\tNo\tYes");
    EXPECT_EQ(lines[8], "48K\tNo\tYes\tYes\tNo");
}

TEST_F(DevicesTest, SwitchingBackAndForthKeepsTwoHeaderLines) {
    auto sheet = ShowDevices(0, 0);
    DevicesPage* page = sheet->Devices();
    for (int index : {1, 2, 0, 2, 1, 1, 0}) {
        page->RecordingCombo()->setCurrentIndex(index);
        const QStringList lines = Lines(page->RecordingList());
        EXPECT_EQ(lines.count(kHeader0), 1);
        EXPECT_EQ(lines.count(kHeader1), 1);
        EXPECT_EQ(lines[0], kHeader0);
        EXPECT_EQ(lines[1], kHeader1);
        EXPECT_EQ(lines[2].left(3), "8K\t");
        EXPECT_EQ(lines.size(), index == 2 ? 11 : 10);
    }
}

TEST_F(DevicesTest, MidiSynthesizerShowsItsTechnologyVoicesNotesAndVersion) {
    auto sheet = ShowDevices(2, 0);
    DevicesPage* page = sheet->Devices();
    EXPECT_EQ(ComboItems(page->MidiCombo()),
              (QStringList{"Preferred Midi output device", "Through Port", "Soft Synth"}));
    EXPECT_EQ(Lines(page->MidiList()),
              (QStringList{"No FM support", "MIDI Synthesizer detected", "Simultaneous notes:\t32",
                           "Number of voices:\t\t24", "Driver version:\t\t1.0"}));
    page->MidiCombo()->setCurrentIndex(0);
    EXPECT_EQ(page->MidiIndex(), 0);
    EXPECT_EQ(Lines(page->MidiList()),
              (QStringList{"No FM support", "Simultaneous notes:\t0", "Number of voices:\t\t0"}));
}

TEST_F(DevicesTest, EachTechnologyCodeHasItsLine) {
    const std::pair<int, QStringList> cases[] = {
        {1, {"No FM support", "MIDI Hardware port enabled"}},
        {3, {"No FM support", "Square wave synthesizer detected"}},
        {4, {"FM support"}},
        {5, {"No FM support", "Microsoft MIDI mapped"}},
        {7, {"No FM support"}},
    };
    for (const auto& [code, expected] : cases) {
        devices.midiOut[0] = Midi("Port", code, 1, 2, 0x0203);
        auto sheet = ShowDevices(1, 0);
        QStringList lines = expected;
        lines << "Simultaneous notes:\t2"
              << "Number of voices:\t\t1"
              << "Driver version:\t\t2.3";
        EXPECT_EQ(Lines(sheet->Devices()->MidiList()), lines) << code;
    }
}

TEST_F(DevicesTest, NoDevicesAtAll) {
    devices.waveIn.clear();
    devices.midiOut.clear();
    devices.defaultWaveIn.reset();
    devices.defaultMidiOut.reset();
    auto sheet = ShowDevices(0, 0);
    DevicesPage* page = sheet->Devices();
    EXPECT_EQ(page->RecordingCombo()->count(), 0);
    EXPECT_FALSE(page->RecordingCombo()->isEnabled());
    EXPECT_EQ(Lines(page->RecordingList()), QStringList{"No properties"});
    EXPECT_EQ(page->RecordingIndex(), -1);
    EXPECT_EQ(page->MidiCombo()->count(), 0);
    EXPECT_FALSE(page->MidiCombo()->isEnabled());
    EXPECT_EQ(Lines(page->MidiList()), QStringList{"No properties"});
    EXPECT_EQ(page->MidiIndex(), -1);
}

TEST_F(DevicesTest, FailingCapabilityQueriesShowLess) {
    devices.waveIn = {std::nullopt, std::nullopt};
    devices.defaultWaveIn.reset();
    devices.midiOut = {std::nullopt};
    devices.defaultMidiOut.reset();
    auto sheet = ShowDevices(0, 0);
    DevicesPage* page = sheet->Devices();
    EXPECT_EQ(ComboItems(page->RecordingCombo()),
              (QStringList{"Preferred recording device", "", ""}));
    EXPECT_EQ(Lines(page->RecordingList()), (QStringList{kHeader0, kHeader1}));
    EXPECT_TRUE(Lines(page->MidiList()).isEmpty());
    page->RecordingCombo()->setCurrentIndex(1);
    EXPECT_EQ(Lines(page->RecordingList()), (QStringList{kHeader0, kHeader1}));
}

TEST_F(DevicesTest, StoredIndexBeyondTheDevicesLeavesNoSelectionAndOkStoresIt) {
    settings.SetRecordingDevice(5);
    settings.SetMidiDevice(1);
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        sheet->Tabs()->setCurrentIndex(1);
        DevicesPage* page = sheet->Devices();
        EXPECT_EQ(page->RecordingCombo()->currentIndex(), -1);
        EXPECT_EQ(page->RecordingIndex(), -1);
        EXPECT_EQ(Lines(page->RecordingList()), (QStringList{kHeader0, kHeader1}));
        FindControl<QPushButton>(sheet, 1)->click();
    });
    EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_EQ(settings.GetRecordingDevice(), -1);
    EXPECT_EQ(settings.GetMidiDevice(), 1);
}

TEST_F(DevicesTest, OkWithoutShowingThePageChangesNoDevice) {
    settings.SetRecordingDevice(7);
    settings.SetMidiDevice(9);
    bool started = true;
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        started = sheet->Devices()->IsStarted();
        FindControl<QPushButton>(sheet, 1)->click();
    });
    EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_FALSE(started);
    EXPECT_EQ(settings.GetRecordingDevice(), 7);
    EXPECT_EQ(settings.GetMidiDevice(), 9);
    EXPECT_EQ(window.restarts, 0);
    EXPECT_EQ(window.colorsChanged, 1);
}

TEST_F(DevicesTest, OkRestartsRecordingOnlyWhenTheRecordingDeviceChangedOrFellSilent) {
    const auto run = [&](int midi, int recording) {
        OnModalOf<OptionsSheet>([=](OptionsSheet* sheet) {
            sheet->Tabs()->setCurrentIndex(1);
            sheet->Devices()->MidiCombo()->setCurrentIndex(midi);
            sheet->Devices()->RecordingCombo()->setCurrentIndex(recording);
            // Device choices alone never enable Apply.
            EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
            FindControl<QPushButton>(sheet, 1)->click();
        });
        EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    };
    run(2, 0); // MIDI only
    EXPECT_EQ(settings.GetMidiDevice(), 2);
    EXPECT_EQ(settings.GetRecordingDevice(), 0);
    EXPECT_EQ(window.restarts, 0);

    run(2, 2); // the second recording device
    EXPECT_EQ(settings.GetRecordingDevice(), 2);
    EXPECT_EQ(window.restarts, 1);

    run(1, 2); // same recording device again
    EXPECT_EQ(settings.GetMidiDevice(), 1);
    EXPECT_EQ(window.restarts, 1);

    // ...unless that device had stopped sending audio: it may be plugged in again by now.
    WindowActions actions = window.Actions();
    actions.recordingSilent = [] { return true; };
    OnModalOf<OptionsSheet>(
        [](OptionsSheet* sheet) { FindControl<QPushButton>(sheet, 1)->click(); });
    EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, actions));
    EXPECT_EQ(settings.GetRecordingDevice(), 2);
    EXPECT_EQ(window.restarts, 2);
}

TEST_F(DevicesTest, CancelKeepsTheDevices) {
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        sheet->Tabs()->setCurrentIndex(1);
        sheet->Devices()->RecordingCombo()->setCurrentIndex(2);
        sheet->ApplyButton()->click(); // disabled: does nothing
        FindControl<QPushButton>(sheet, 2)->click();
    });
    EXPECT_FALSE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_EQ(settings.GetRecordingDevice(), 0);
    EXPECT_EQ(window.restarts, 0);
    EXPECT_EQ(window.colorsChanged, 0);
}
