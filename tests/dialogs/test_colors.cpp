#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "DialogTestSupport.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/OptionsSheet.h"

namespace {

constexpr ColorArray kCustom = {0x112233, 0x445566, 0x778899, 0xAABBCC};

QRgb Rgb(uint32_t bgr) {
    return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

class ColorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
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
    static void Click(ColorsPage* page, int from, int to) {
        const QPoint down = FindControl(page, 1005 + from)->geometry().center();
        const QPoint up = FindControl(page, 1005 + to)->geometry().center();
        QTest::mousePress(page, Qt::LeftButton, Qt::NoModifier, down);
        QTest::mouseRelease(page, Qt::LeftButton, Qt::NoModifier, up);
    }

    TunerSettings settings;
    FakeDevices devices;
    WindowRecorder window;
    std::vector<uint32_t> chooserStarts;
    std::optional<uint32_t> chooserAnswer = 0x00FF00;
};

} // namespace

TEST_F(ColorsTest, PageLayoutAndSheetButtons) {
    OptionsSheet sheet(kCustom, 0, 0, devices);
    sheet.show();
    EXPECT_EQ(sheet.windowTitle(), "Options");
    ASSERT_EQ(sheet.Tabs()->count(), 2);
    EXPECT_EQ(sheet.Tabs()->tabText(0), "Colors");
    EXPECT_EQ(sheet.Tabs()->tabText(1), "Devices");
    EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);
    EXPECT_EQ(FindControl<QPushButton>(&sheet, 1)->text(), "OK");
    EXPECT_EQ(FindControl<QPushButton>(&sheet, 2)->text(), "Cancel");
    EXPECT_EQ(FindControl<QPushButton>(&sheet, 12321)->text(), "Apply");
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    ColorsPage* page = sheet.Colors();
    const DialogUnits du(page->font());
    EXPECT_EQ(page->size(), QSize(du.X(229), du.Y(102)));
    const QRect swatches[] = {du.Rect(17, 17, 15, 15), du.Rect(124, 17, 15, 15),
                              du.Rect(124, 41, 15, 15), du.Rect(17, 41, 15, 15)};
    for (int i = 0; i < 4; ++i) {
        auto* control = FindControl<QLabel>(page, 1006 + i);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), swatches[i]);
        EXPECT_EQ(control->text(), QString::number(i + 1));
        // The picture fills the control's client area in the scheme's colour.
        const QImage& surface = page->Swatch(i).Surface();
        EXPECT_EQ(surface.size(), control->contentsRect().size());
        EXPECT_EQ(surface.pixel(0, 0), Rgb(kCustom[i]));
        EXPECT_EQ(surface.pixel(surface.width() - 1, surface.height() - 1), Rgb(kCustom[i]));
    }
    auto* restore = FindControl<QPushButton>(page, 1015);
    EXPECT_EQ(restore->text(), "Restore Default Colors");
    EXPECT_EQ(restore->geometry(), du.Rect(17, 64, 95, 14));
    QStringList labels;
    for (const QLabel* label : page->findChildren<QLabel*>())
        labels << label->text();
    for (const char* text : {"Needle Color", "High Energy Color", "Low Energy Color", "Text Color"})
        EXPECT_TRUE(labels.contains(text)) << text;

    // What the sheet shows on screen is the swatch colour.
    const QImage shot = sheet.grab().toImage();
    const QWidget* low = FindControl(page, 1008);
    EXPECT_EQ(shot.pixel(low->mapTo(&sheet, low->rect().center())), Rgb(kCustom[2]));
}

TEST_F(ColorsTest, SwatchIsBlackUntilFilledAndRepaintsOnlyItself) {
    QWidget page;
    auto* control = new QLabel("1", &page);
    SetControlId(control, 1006);
    control->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    control->setGeometry(10, 10, 20, 20);
    ColorSwatch swatch;
    EXPECT_FALSE(swatch.Create(&page, 1007));
    ASSERT_TRUE(swatch.Create(&page, 1006));
    EXPECT_EQ(swatch.Width(), control->contentsRect().width());
    EXPECT_EQ(swatch.Height(), control->contentsRect().height());
    EXPECT_EQ(swatch.Surface().pixel(0, 0), qRgb(0, 0, 0));
    swatch.Fill(0x0000FF);
    EXPECT_EQ(swatch.Surface().pixel(3, 3), qRgb(255, 0, 0));
    page.show();
    swatch.Paint();
    const QImage shot = page.grab().toImage();
    EXPECT_EQ(shot.pixel(20, 20), qRgb(255, 0, 0));
}

TEST_F(ColorsTest, PressAndReleaseOnOneSwatchOpensTheChooserForIt) {
    OptionsSheet sheet(kCustom, 0, 0, devices);
    sheet.show();
    ColorsPage* page = sheet.Colors();

    Click(page, 1, 2);
    EXPECT_TRUE(chooserStarts.empty());
    EXPECT_EQ(page->PressedSwatch(), 0);
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    // A press outside every swatch and a release on one opens nothing either.
    QTest::mousePress(page, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    QTest::mouseRelease(page, Qt::LeftButton, Qt::NoModifier,
                        FindControl(page, 1008)->geometry().center());
    EXPECT_TRUE(chooserStarts.empty());

    Click(page, 3, 3);
    ASSERT_EQ(chooserStarts.size(), 1U);
    EXPECT_EQ(chooserStarts[0], kCustom[2]); // starts from the low energy colour
    EXPECT_EQ(page->Colors()[2], 0x00FF00U);
    EXPECT_EQ(page->Swatch(2).Surface().pixel(0, 0), Rgb(0x00FF00));
    for (int other : {0, 1, 3})
        EXPECT_EQ(page->Swatch(other).Surface().pixel(0, 0), Rgb(kCustom[other]));
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());

    // Cancel in the chooser changes nothing.
    chooserAnswer.reset();
    Click(page, 4, 4);
    EXPECT_EQ(chooserStarts.back(), kCustom[3]);
    EXPECT_EQ(page->Colors()[3], kCustom[3]);
}

TEST_F(ColorsTest, CancelAfterAChooserChangeKeepsTheOldColour) {
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        Click(sheet->Colors(), 1, 1);
        FindControl<QPushButton>(sheet, 2)->click();
    });
    EXPECT_FALSE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_EQ(ToColorArray(settings.GetColors()), kCustom);
    EXPECT_EQ(window.colorsChanged, 0);
}

TEST_F(ColorsTest, ApplyThenCancelKeepsTheNewColour) {
    bool applyDisabledAfterUse = false;
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        Click(sheet->Colors(), 1, 1);
        ASSERT_TRUE(sheet->ApplyButton()->isEnabled());
        sheet->ApplyButton()->click();
        applyDisabledAfterUse = !sheet->ApplyButton()->isEnabled();
        EXPECT_EQ(settings.GetNeedleColor(), 0x00FF00U);
        EXPECT_EQ(window.colorsChanged, 1);
        // The next colour change enables Apply again.
        chooserAnswer = 0x0000FF;
        Click(sheet->Colors(), 2, 2);
        EXPECT_TRUE(sheet->ApplyButton()->isEnabled());
        FindControl<QPushButton>(sheet, 2)->click();
    });
    EXPECT_FALSE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_TRUE(applyDisabledAfterUse);
    ColorArray expected = kCustom;
    expected[0] = 0x00FF00;
    EXPECT_EQ(ToColorArray(settings.GetColors()), expected);
    EXPECT_EQ(window.colorsChanged, 1);
    EXPECT_EQ(window.restarts, 0);
    // What the window writes at exit holds the applied colour (line 2, field 2).
    const std::string text = settings.WriteStateText();
    EXPECT_NE(text.find("\t65280\t"), std::string::npos) << text;
}

TEST_F(ColorsTest, RestoreDefaultsThenOkGivesTheDefaultsWithoutRestartingRecording) {
    OnModalOf<OptionsSheet>([&](OptionsSheet* sheet) {
        Click(sheet->Colors(), 2, 2);
        FindControl<QPushButton>(sheet->Colors(), 1015)->click();
        EXPECT_EQ(sheet->Colors()->Colors(), kDefaultColors);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(sheet->Colors()->Swatch(i).Surface().pixel(1, 1), Rgb(kDefaultColors[i]));
        EXPECT_TRUE(sheet->ApplyButton()->isEnabled());
        // Nothing reaches the settings before Apply or OK.
        EXPECT_EQ(ToColorArray(settings.GetColors()), kCustom);
        FindControl<QPushButton>(sheet, 1)->click();
    });
    EXPECT_TRUE(RunOptionsSheet(nullptr, settings, devices, window.Actions()));
    EXPECT_EQ(settings.GetColors(), ColorScheme{});
    EXPECT_EQ(window.colorsChanged, 1);
    EXPECT_EQ(window.restarts, 0);
}
