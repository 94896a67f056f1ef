#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/OptionsSheet.h"

namespace {

constexpr ColorArray kCustom = {0x112233, 0x445566, 0x778899, 0xAABBCC};

class ColorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.SetColors(ToColorScheme(kCustom));
        ColorsPage::SetColorChooser([this](QWidget*, uint32_t initial, uint32_t& chosen) {
            chooserStarts.push_back(initial);
            if (!chooserAnswer)
                return false;
            chosen = *chooserAnswer;
            return true;
        });
    }
    void TearDown() override { ColorsPage::SetColorChooser({}); }

    // Presses the left button on swatch `from` (1..4) and releases it on swatch `to`.
    static void Click(QWidget* sheet, int from, int to) {
        auto* page = sheet->findChild<ColorsPage*>();
        QTest::mousePress(page, Qt::LeftButton, Qt::NoModifier,
                          FindControl(page, 1005 + from)->geometry().center());
        QTest::mouseRelease(page, Qt::LeftButton, Qt::NoModifier,
                            FindControl(page, 1005 + to)->geometry().center());
    }
    static QPushButton* Button(const QWidget* sheet, int id) {
        return FindControl<QPushButton>(sheet, id);
    }

    TunerSettings settings;
    FakeDevices devices;
    WindowRecorder window;
    std::vector<uint32_t> chooserStarts;
    std::optional<uint32_t> chooserAnswer = 0xFF00FF00; // a stray high byte is dropped
};

} // namespace

TEST_F(ColorsTest, PressAndReleaseOnOneSwatchOpensTheChooserForIt) {
    OptionsSheet sheet(kCustom, 0, 0, devices);
    sheet.show();
    Click(&sheet, 1, 2);
    EXPECT_TRUE(chooserStarts.empty());
    EXPECT_FALSE(Button(&sheet, OptionsSheet::IDC_APPLY)->isEnabled());
    Click(&sheet, 3, 3);
    EXPECT_EQ(chooserStarts, std::vector<uint32_t>{kCustom[2]});
    EXPECT_EQ(sheet.Result().colors[2], 0x00FF00U);
    EXPECT_TRUE(Button(&sheet, OptionsSheet::IDC_APPLY)->isEnabled());
    // What the sheet shows on screen is the swatch colour.
    const QImage shot = sheet.grab().toImage();
    const QWidget* low = FindControl(&sheet, ColorsPage::IDC_LOW_ENERGY);
    EXPECT_EQ(shot.pixel(low->mapTo(&sheet, low->rect().center())), qRgb(0, 255, 0));
    // Cancel in the chooser changes nothing.
    chooserAnswer.reset();
    Click(&sheet, 4, 4);
    EXPECT_EQ(sheet.Result().colors[3], kCustom[3]);
}

TEST_F(ColorsTest, ApplyPutsColoursIntoEffectAndCancelKeepsWhatWasApplied) {
    bool applyDisabledAfterUse = false;
    OnModal([&](QWidget* sheet) {
        Click(sheet, 1, 1);
        Button(sheet, OptionsSheet::IDC_APPLY)->click();
        applyDisabledAfterUse = !Button(sheet, OptionsSheet::IDC_APPLY)->isEnabled();
        EXPECT_EQ(window.colorsChanged, 1);
        chooserAnswer = 0x0000FF;
        Click(sheet, 2, 2);
        Button(sheet, OptionsSheet::IDC_CANCEL)->click();
    });
    EXPECT_FALSE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_TRUE(applyDisabledAfterUse);
    EXPECT_EQ(ToColorArray(settings.GetColors()),
              (ColorArray{0x00FF00, kCustom[1], kCustom[2], kCustom[3]}));
    EXPECT_EQ(window.colorsChanged, 1);
}

TEST_F(ColorsTest, RestoreDefaultsThenOkGivesTheDefaultsWithoutRestartingRecording) {
    OnModal([&](QWidget* sheet) {
        Click(sheet, 2, 2);
        Button(sheet, ColorsPage::IDC_RESTORE)->click();
        // Nothing reaches the settings before Apply or OK.
        EXPECT_EQ(ToColorArray(settings.GetColors()), kCustom);
        Button(sheet, OptionsSheet::IDC_OK)->click();
    });
    EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_EQ(settings.GetColors(), ColorScheme{});
    EXPECT_EQ(window.colorsChanged, 1);
    EXPECT_EQ(window.restarts, 0);
}
