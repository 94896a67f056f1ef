#include <limits>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"
#include "dialogs/ConcertADialog.h"
#include "dialogs/DialogUnits.h"
#include <QSlider>

namespace {

class ConcertATest : public ::testing::Test {
protected:
    void SetUp() override {
        ConcertADialog::SetWarningFunction(
            [this](QWidget*, const QString&, const QString& text) { warnings.push_back(text); });
    }
    void TearDown() override { ConcertADialog::SetWarningFunction({}); }

    static QLineEdit* Edit(const QWidget* d) {
        return FindControl<QLineEdit>(d, ConcertADialog::IDC_EDIT);
    }
    static void Click(const QWidget* d, int id) { FindControl<QPushButton>(d, id)->click(); }

    std::vector<QString> warnings;
    TunerSettings settings;
    WindowRecorder window;
};

} // namespace

TEST(ConcertAParse, ReadsTheLeadingNumberOfEightCharacters) {
    const std::pair<const char*, double> cases[] = {
        {"  +4.4e2 Hz", 440.0}, {"432.26", 432.26},
        {"-440", -440.0},       {".5e3", 500.0},
        {"441.e", 441.0},       {"440.00009", 440.0},
        {"    4.5e2", 4.5},     {"", 0.0},
        {"nan", 0.0},           {"-.", 0.0},
        {"1e-99999", 0.0},      {"1e999999", std::numeric_limits<double>::infinity()}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseConcertAText(text), value) << text;
}

TEST_F(ConcertATest, TheSliderFollowsTypedNumbersInRangeAndTheTextFollowsItsRelease) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    QSlider* slider = FindControl<QSlider>(&dialog, ConcertADialog::IDC_SLIDER);
    for (const auto& [text, position] : {std::pair{"430", 4300},
                                         {"432.26", 4323},
                                         {"450.0", 4500},
                                         {"450.1", 4500},
                                         {"429.9", 4500}}) {
        Edit(&dialog)->setText(text);
        EXPECT_EQ(slider->value(), position) << text;
    }
    EXPECT_FLOAT_EQ(dialog.Value(), 450.0F);
    slider->setSliderDown(true);
    slider->setSliderPosition(4303);
    slider->setSliderDown(false);
    EXPECT_EQ(Edit(&dialog)->text(), "430.3");
    EXPECT_FLOAT_EQ(dialog.Value(), 430.3F);
    // A key on the slider reports its position without touching the text; Reset brings both
    // back to 440 even when the text already reads it.
    Edit(&dialog)->setText("440.0");
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.1F);
    EXPECT_EQ(Edit(&dialog)->text(), "440.0");
    Click(&dialog, ConcertADialog::IDC_RESET);
    EXPECT_EQ(slider->value(), 4400);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);
    // A pointer move over the dialog's static texts takes the slider position too.
    slider->setValue(4410);
    const QLabel* label = dialog.findChild<QLabel*>();
    const QPointF at = QPointF(label->geometry().center());
    QMouseEvent over(QEvent::MouseMove, at, dialog.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&dialog, &over);
    EXPECT_FLOAT_EQ(dialog.Value(), 441.0F);
}

TEST_F(ConcertATest, OkRefusesNumbersOutOfRangeWithAWarning) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    for (const char* text : {"", "abc", "429.9", "450.1", "1e999999"}) {
        Edit(&dialog)->setText(text);
        Click(&dialog, ConcertADialog::IDC_OK);
        EXPECT_TRUE(dialog.isVisible()) << text;
    }
    ASSERT_EQ(warnings.size(), 5U);
    EXPECT_EQ(warnings[0], ConcertADialog::kWarningText);
    Edit(&dialog)->setText("450");
    Click(&dialog, ConcertADialog::IDC_OK);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(ConcertATest, OkGivesTheValueToTheSettingsTheButtonAndTheEngine) {
    OnModal([&](QWidget* dialog) {
        Edit(dialog)->setText("432.26");
        Click(dialog, ConcertADialog::IDC_OK);
    });
    EXPECT_TRUE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 432.26F);
    EXPECT_EQ(window.buttonTexts, std::vector<QString>{"432.3 Hz"});
    EXPECT_EQ(window.engineConcertA, std::vector<float>{432.26F});
    OnModal([&](QWidget* dialog) {
        Edit(dialog)->setText("445");
        Click(dialog, ConcertADialog::IDC_CANCEL);
    });
    EXPECT_FALSE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 432.26F);
    EXPECT_EQ(window.engineConcertA.size(), 1U);
}
