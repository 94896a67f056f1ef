#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "DialogTestSupport.h"
#include "dialogs/ConcertADialog.h"
#include "dialogs/DialogUnits.h"
#include "display/HintSliderCtrl.h"

namespace {

class ConcertATest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ConcertADialog::SetWarningFunction(
            [this](QWidget*, const QString& caption, const QString& text) {
                warnings.push_back({caption, text});
            });
    }
    void TearDown() override { ConcertADialog::SetWarningFunction({}); }

    std::vector<std::pair<QString, QString>> warnings;
};

QPushButton* Button(const QWidget* dialog, int id) {
    return FindControl<QPushButton>(dialog, id);
}

} // namespace

TEST(ConcertAParse, ReadsTheLeadingNumberOfEightCharacters) {
    EXPECT_DOUBLE_EQ(ParseConcertAText("445"), 445.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("  +4.4e2 Hz"), 440.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("432.26"), 432.26);
    EXPECT_DOUBLE_EQ(ParseConcertAText("440Hz"), 440.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("-440"), -440.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText(".5e3"), 500.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("441.e"), 441.0); // exponent mark without digits
    // Only the first eight characters count.
    EXPECT_DOUBLE_EQ(ParseConcertAText("440.00009"), 440.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("0000000445"), 4.0);
    EXPECT_DOUBLE_EQ(ParseConcertAText("    4.5e2"), 4.5);
    // No number at all reads as 0, never as NaN or infinity from a word.
    EXPECT_EQ(ParseConcertAText(""), 0.0);
    EXPECT_EQ(ParseConcertAText("abc"), 0.0);
    EXPECT_EQ(ParseConcertAText("nan"), 0.0);
    EXPECT_EQ(ParseConcertAText("inf"), 0.0);
    EXPECT_EQ(ParseConcertAText("-."), 0.0);
    EXPECT_EQ(ParseConcertAText("1e999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseConcertAText("1e-99999"), 0.0);
}

TEST_F(ConcertATest, OpensOnTheValueWithTheTemplateLayout) {
    ConcertADialog dialog(440.0F);
    EXPECT_EQ(dialog.windowTitle(), "Concert 'A' Frequency");
    EXPECT_EQ(dialog.Edit()->text(), "440.0");
    EXPECT_EQ(dialog.Slider()->minimum(), 4300);
    EXPECT_EQ(dialog.Slider()->maximum(), 4500);
    EXPECT_EQ(dialog.Slider()->tickInterval(), 5);
    EXPECT_EQ(dialog.Slider()->value(), 4400);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);

    const DialogUnits du(dialog.font());
    EXPECT_EQ(dialog.size(), QSize(du.X(286), du.Y(135)));
    EXPECT_EQ(FindControl(&dialog, 1001), dialog.Edit());
    EXPECT_EQ(FindControl(&dialog, 1002), dialog.Slider());
    EXPECT_EQ(dialog.Edit()->geometry(), du.Rect(143, 52, 40, 14));
    EXPECT_EQ(dialog.Slider()->geometry(), du.Rect(22, 73, 240, 19));
    EXPECT_EQ(Button(&dialog, 1003)->text(), "Reset");
    EXPECT_EQ(Button(&dialog, 1003)->geometry(), du.Rect(117, 113, 50, 14));
    EXPECT_EQ(Button(&dialog, 1)->text(), "OK");
    EXPECT_TRUE(Button(&dialog, 1)->isDefault());
    EXPECT_EQ(Button(&dialog, 1)->geometry(), du.Rect(229, 7, 50, 14));
    EXPECT_EQ(Button(&dialog, 2)->text(), "Cancel");
    EXPECT_EQ(Button(&dialog, 2)->geometry(), du.Rect(229, 24, 50, 14));

    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("\"A\" Note Frequency: "));
    EXPECT_TRUE(texts.contains("430 Hz"));
    EXPECT_TRUE(texts.contains("440 Hz"));
    EXPECT_TRUE(texts.contains("450 Hz"));
}

TEST_F(ConcertATest, TypingFollowsOnlyWithNumbersInRange) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    dialog.Edit()->setFocus();
    dialog.Edit()->clear();
    QTest::keyClick(dialog.Edit(), Qt::Key_4);
    EXPECT_EQ(dialog.Edit()->text(), "4");
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);
    EXPECT_EQ(dialog.Slider()->value(), 4400);
    QTest::keyClick(dialog.Edit(), Qt::Key_4);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);
    EXPECT_EQ(dialog.Slider()->value(), 4400);
    QTest::keyClick(dialog.Edit(), Qt::Key_5);
    EXPECT_EQ(dialog.Edit()->text(), "445");
    EXPECT_FLOAT_EQ(dialog.Value(), 445.0F);
    EXPECT_EQ(dialog.Slider()->value(), 4450);

    // Both ends of the range are accepted, just outside them nothing moves.
    dialog.Edit()->setText("430");
    EXPECT_EQ(dialog.Slider()->value(), 4300);
    dialog.Edit()->setText("450.0");
    EXPECT_EQ(dialog.Slider()->value(), 4500);
    dialog.Edit()->setText("450.1");
    dialog.Edit()->setText("429.9");
    EXPECT_EQ(dialog.Slider()->value(), 4500);
    EXPECT_FLOAT_EQ(dialog.Value(), 450.0F);
}

TEST_F(ConcertATest, OkWithAnOutOfRangeNumberWarnsAndCancelKeepsConcertA) {
    TunerSettings settings;
    settings.SetConcertA(441.5F);
    WindowRecorder window;
    bool stayedOpen = false;
    OnModalOf<ConcertADialog>([&](ConcertADialog* dialog) {
        dialog->Edit()->setText("455");
        Button(dialog, 1)->click();
        stayedOpen = dialog->isVisible() && dialog->result() == 0;
        EXPECT_EQ(dialog->Edit()->text(), "455");
        Button(dialog, 2)->click();
    });
    EXPECT_FALSE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_EQ(warnings[0].first, "Invalid Number");
    EXPECT_EQ(warnings[0].second, "Please enter a number from 430 to 450 Hz, or press cancel");
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 441.5F);
    EXPECT_TRUE(window.buttonTexts.empty());
    EXPECT_TRUE(window.engineConcertA.empty());
}

TEST_F(ConcertATest, OkRefusesTextWithoutANumberAndTheRangeEdges) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    for (const char* text : {"", "abc", "429.9", "450.1", "1e999999"}) {
        dialog.Edit()->setText(text);
        Button(&dialog, 1)->click();
        EXPECT_TRUE(dialog.isVisible()) << text;
    }
    EXPECT_EQ(warnings.size(), 5U);
    dialog.Edit()->setText("450");
    Button(&dialog, 1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FLOAT_EQ(dialog.Value(), 450.0F);
}

TEST_F(ConcertATest, SliderReleasedAfterDraggingWritesTheText) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    HintSliderCtrl* slider = dialog.Slider();
    slider->setSliderDown(true);
    slider->setSliderPosition(4303);
    slider->setSliderDown(false);
    EXPECT_EQ(dialog.Edit()->text(), "430.3");
    EXPECT_EQ(slider->value(), 4303);
    EXPECT_FLOAT_EQ(dialog.Value(), 430.3F);
}

TEST_F(ConcertATest, DraggingTheHandleWithThePointer) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    HintSliderCtrl* slider = dialog.Slider();
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.tickPosition = slider->tickPosition();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handle.center());
    QTest::mouseMove(slider, handle.center() - QPoint(slider->width() / 4, 0));
    // A move is reported before the slider follows it, so the value lags one move behind;
    // the text waits for the release.
    EXPECT_LT(slider->value(), 4400);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);
    EXPECT_EQ(dialog.Edit()->text(), "440.0");
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier,
                        handle.center() - QPoint(slider->width() / 4, 0));
    EXPECT_EQ(dialog.Edit()->text(), QString::asprintf("%.1f", slider->value() / 10.0));
    EXPECT_FLOAT_EQ(dialog.Value(), static_cast<float>(slider->value()) / 10.0F);
}

TEST_F(ConcertATest, SliderKeysAndWheelReportThePositionWithoutTouchingTheText) {
    ConcertADialog dialog(440.0F);
    dialog.show();
    HintSliderCtrl* slider = dialog.Slider();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->value(), 4401);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.1F);
    EXPECT_EQ(dialog.Edit()->text(), "440.0");

    // A pointer move over the slider reports the position too.
    slider->setValue(4410);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.1F);
    const QPointF inside(3, 3);
    QMouseEvent hover(QEvent::MouseMove, inside, slider->mapToGlobal(inside), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &hover);
    EXPECT_FLOAT_EQ(dialog.Value(), 441.0F);
    slider->setValue(4401);
    QApplication::sendEvent(slider, &hover);

    // Moves over the text field or a button are theirs, not the dialog's.
    slider->setValue(4420);
    for (QWidget* child : {static_cast<QWidget*>(dialog.Edit()), FindControl(&dialog, 1003)}) {
        const QPointF at = QPointF(child->geometry().center());
        QMouseEvent over(QEvent::MouseMove, at, dialog.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&dialog, &over);
        EXPECT_FLOAT_EQ(dialog.Value(), 440.1F);
    }
    slider->setValue(4401);

    // The wheel reports before the slider moves: the value lags until the next report.
    const QPointF centre = QPointF(slider->rect().center());
    QWheelEvent wheel(centre, slider->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
    EXPECT_NE(slider->value(), 4401);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.1F);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), dialog.mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &move);
    EXPECT_FLOAT_EQ(dialog.Value(), static_cast<float>(slider->value()) / 10.0F);
}

TEST_F(ConcertATest, ResetThenOkGives440) {
    TunerSettings settings;
    settings.SetConcertA(447.2F);
    WindowRecorder window;
    OnModalOf<ConcertADialog>([&](ConcertADialog* dialog) {
        EXPECT_EQ(dialog->Edit()->text(), "447.2");
        EXPECT_EQ(dialog->Slider()->value(), 4472);
        Button(dialog, 1003)->click();
        EXPECT_EQ(dialog->Edit()->text(), "440.0");
        EXPECT_EQ(dialog->Slider()->value(), 4400);
        Button(dialog, 1)->click();
    });
    EXPECT_TRUE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 440.0F);
    EXPECT_EQ(window.buttonTexts, std::vector<QString>{"440.0 Hz"});
    EXPECT_EQ(window.engineConcertA, std::vector<float>{440.0F});
}

TEST_F(ConcertATest, ResetGives440EvenWhenTheFieldAlreadyReadsIt) {
    // A key on the slider sets the value but leaves the text at 440.0, so setting the text to
    // 440.0 again changes nothing Qt would report.
    ConcertADialog dialog(440.0F);
    dialog.show();
    dialog.Slider()->setFocus();
    QTest::keyClick(dialog.Slider(), Qt::Key_Right);
    ASSERT_EQ(dialog.Edit()->text(), "440.0");
    ASSERT_FLOAT_EQ(dialog.Value(), 440.1F);
    Button(&dialog, 1003)->click();
    EXPECT_EQ(dialog.Slider()->value(), 4400);
    EXPECT_FLOAT_EQ(dialog.Value(), 440.0F);
}

TEST_F(ConcertATest, HundredthsAreKeptAndTheButtonShowsTenths) {
    TunerSettings settings;
    WindowRecorder window;
    OnModalOf<ConcertADialog>([&](ConcertADialog* dialog) {
        dialog->Edit()->setText("432.26");
        EXPECT_EQ(dialog->Slider()->value(), 4323);
        EXPECT_FLOAT_EQ(dialog->Value(), 432.26F);
        Button(dialog, 1)->click();
    });
    EXPECT_TRUE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 432.26F);
    EXPECT_EQ(window.buttonTexts, std::vector<QString>{"432.3 Hz"});
    // The engine gets the value to analyse the next frame with.
    EXPECT_EQ(window.engineConcertA, std::vector<float>{432.26F});
}

TEST_F(ConcertATest, EscapeCancels) {
    TunerSettings settings;
    WindowRecorder window;
    OnModalOf<ConcertADialog>([&](ConcertADialog* dialog) {
        dialog->Edit()->setText("445");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(RunConcertADialog(nullptr, settings, window.Actions()));
    EXPECT_FLOAT_EQ(settings.GetConcertA(), 440.0F);
    EXPECT_TRUE(window.engineConcertA.empty());
}
