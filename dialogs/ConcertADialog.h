#pragma once

#include <functional>

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class HintSliderCtrl;

// Reads the leading decimal number (blanks, sign, digits, point, exponent) of at most the first
// eight characters of `text`; text without a number reads as 0. Independent of the locale.
double ParseConcertAText(const QString& text);

// The modal concert A dialog: a slider and a text field that follow each other, in tenths of a
// hertz from 430.0 to 450.0, and a Reset button back to 440.0. The caller reads Value() after OK.
class ConcertADialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 102;
    static constexpr int IDC_EDIT = 1001;
    static constexpr int IDC_SLIDER = 1002;
    static constexpr int IDC_RESET = 1003;
    static constexpr int IDC_OK = 1;
    static constexpr int IDC_CANCEL = 2;

    static constexpr float kMinHz = 430.0F;
    static constexpr float kMaxHz = 450.0F;

    explicit ConcertADialog(float concertA, QWidget* parent = nullptr);

    // Concert A in hertz as last set by the text field, the slider or Reset.
    float Value() const { return m_fValue; }

    // Shows the "Invalid Number" warning; replaceable so tests need not answer a message box.
    using WarningFunction =
        std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
    static void SetWarningFunction(WarningFunction function);

    static const char* const kWarningText;
    static const char* const kWarningCaption;

public slots:
    // OK: refuses a text outside 430..450 with the warning and stays open.
    void accept() override;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void OnTextChanged(const QString& text);
    void OnSliderReleased();
    void OnReset();
    void TakeSliderPosition();

    float m_fValue;
    QLineEdit* m_pEdit;
    HintSliderCtrl* m_pSlider;
    QPushButton* m_pReset;
};
