#include "dialogs/ConcertADialog.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

#include "dialogs/DialogUnits.h"
#include "display/HintSliderCtrl.h"

namespace {

constexpr int kSliderMin = 4300;
constexpr int kSliderMax = 4500;
constexpr int kTickEvery = 5;
constexpr int kParseLimit = 8;

ConcertADialog::WarningFunction& WarningHook() {
    static ConcertADialog::WarningFunction hook;
    return hook;
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

QString FormatTenths(float value) {
    return QString::asprintf("%.1f", static_cast<double>(value));
}

} // namespace

const char* const ConcertADialog::kWarningText =
    "Please enter a number from 430 to 450 Hz, or press cancel";
const char* const ConcertADialog::kWarningCaption = "Invalid Number";

double ParseConcertAText(const QString& text) {
    const QString s = text.left(kParseLimit);
    const int n = static_cast<int>(s.size());
    int i = 0;
    while (i < n && IsBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    std::string whole;
    std::string fraction;
    while (i < n && IsDigit(s[i]))
        whole += static_cast<char>(s[i++].unicode());
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && IsDigit(s[i]))
            fraction += static_cast<char>(s[i++].unicode());
    }
    if (whole.empty() && fraction.empty())
        return 0.0;
    std::string exponent;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        int j = i + 1;
        std::string e;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            e += static_cast<char>(s[j++].unicode());
        const size_t signLength = e.size();
        while (j < n && IsDigit(s[j]))
            e += static_cast<char>(s[j++].unicode());
        // An exponent mark without digits is not part of the number.
        if (e.size() > signLength)
            exponent = e;
    }
    std::string number = (whole.empty() ? "0" : whole) + "." + (fraction.empty() ? "0" : fraction);
    if (!exponent.empty())
        number += "e" + exponent;
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = exponent.front() == '-' ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

void ConcertADialog::SetWarningFunction(WarningFunction function) {
    WarningHook() = std::move(function);
}

ConcertADialog::ConcertADialog(float concertA, QWidget* parent)
    : QDialog(parent), m_fValue(concertA) {
    setWindowTitle(QStringLiteral("Concert 'A' Frequency"));
    setFont(DialogFont());
    setMouseTracking(true);
    const DialogUnits du(font());
    setFixedSize(du.X(286), du.Y(135));

    auto* text = new QLabel(
        QStringLiteral("Move the slider bar to change the center frequency.  The standard A note "
                       "has a frequency of 440 Hz.  Changing the A note frequency will shift all "
                       "other notes accordingly."),
        this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(du.Rect(7, 7, 167, 39));

    auto* label = new QLabel(QStringLiteral("\"A\" Note Frequency: "), this);
    label->setGeometry(du.Rect(73, 54, 69, 8));

    m_pEdit = new QLineEdit(this);
    SetControlId(m_pEdit, IDC_EDIT);
    m_pEdit->setGeometry(du.Rect(143, 52, 40, 14));

    m_pSlider = new HintSliderCtrl(this);
    SetControlId(m_pSlider, IDC_SLIDER);
    m_pSlider->setGeometry(du.Rect(22, 73, 240, 19));
    m_pSlider->setFocusPolicy(Qt::StrongFocus);

    m_pReset = new QPushButton(QStringLiteral("Reset"), this);
    SetControlId(m_pReset, IDC_RESET);
    m_pReset->setGeometry(du.Rect(117, 113, 50, 14));
    m_pReset->setAutoDefault(false);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(ok, IDC_OK);
    ok->setGeometry(du.Rect(229, 7, 50, 14));
    ok->setDefault(true);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(cancel, IDC_CANCEL);
    cancel->setGeometry(du.Rect(229, 24, 50, 14));
    cancel->setAutoDefault(false);

    const struct {
        const char* text;
        int x;
    } scale[] = {{"430 Hz", 21}, {"440 Hz", 130}, {"450 Hz", 239}};
    for (const auto& mark : scale) {
        auto* l = new QLabel(QString::fromLatin1(mark.text), this);
        l->setGeometry(du.Rect(mark.x, 97, 24, 8));
    }

    setTabOrder(m_pEdit, m_pSlider);
    setTabOrder(m_pSlider, m_pReset);
    setTabOrder(m_pReset, ok);
    setTabOrder(ok, cancel);

    // Opening: scale in tenths of a hertz, a tick every half hertz; the text field then places
    // the slider.
    m_pSlider->setRange(kSliderMin, kSliderMax);
    m_pSlider->setTickInterval(kTickEvery);
    m_pSlider->setTickPosition(QSlider::TicksBelow);
    m_pSlider->setSingleStep(1);
    m_pSlider->setPageStep((kSliderMax - kSliderMin) / 5);
    connect(m_pEdit, &QLineEdit::textChanged, this, &ConcertADialog::OnTextChanged);
    connect(m_pSlider, &QSlider::sliderReleased, this, &ConcertADialog::OnSliderReleased);
    connect(m_pReset, &QPushButton::clicked, this, &ConcertADialog::OnReset);
    connect(ok, &QPushButton::clicked, this, &ConcertADialog::accept);
    connect(cancel, &QPushButton::clicked, this, &ConcertADialog::reject);
    m_pEdit->setText(FormatTenths(m_fValue));
}

void ConcertADialog::OnTextChanged(const QString& text) {
    const double x = ParseConcertAText(text);
    if (x >= kMinHz && x <= kMaxHz) {
        m_pSlider->setValue(static_cast<int>(std::lround(x * 10.0)));
        m_fValue = static_cast<float>(x);
    }
}

void ConcertADialog::OnSliderReleased() {
    m_fValue = static_cast<float>(m_pSlider->value()) / 10.0F;
    m_pEdit->setText(FormatTenths(m_fValue));
}

void ConcertADialog::OnReset() {
    m_pEdit->setText(QStringLiteral("440.0"));
    m_pSlider->setValue(4400);
    // The field may already read 440.0 while the slider, moved by keys or the wheel, set another
    // value; Qt reports no change then, so the text is taken here once more.
    OnTextChanged(m_pEdit->text());
}

void ConcertADialog::TakeSliderPosition() {
    m_fValue = static_cast<float>(m_pSlider->value()) / 10.0F;
}

void ConcertADialog::mouseMoveEvent(QMouseEvent* event) {
    // Only the dialog's own background and its static texts count as "over the dialog"; Qt also
    // passes on moves over the text field and the buttons, which keep the pointer to themselves.
    const QWidget* child = childAt(event->position().toPoint());
    if (!child || qobject_cast<const QLabel*>(child))
        TakeSliderPosition();
    QDialog::mouseMoveEvent(event);
}

void ConcertADialog::accept() {
    const double x = ParseConcertAText(m_pEdit->text());
    if (!(x >= kMinHz && x <= kMaxHz)) {
        const QString caption = QString::fromLatin1(kWarningCaption);
        const QString text = QString::fromLatin1(kWarningText);
        if (WarningHook())
            WarningHook()(this, caption, text);
        else
            QMessageBox::warning(this, caption, text);
        return;
    }
    QDialog::accept();
}
