// Pointer hints and the logo link: the hint line names whatever part of the window the pointer
// is over, and a click on the logo opens the product web page.

#include "app/TunerWindow.h"

#include "dialogs/Launch.h"

#include <QLabel>
#include <QMouseEvent>

namespace {

struct HintRegion {
    int left, top, right, bottom;
};

// Tested in this order; right column and bottom row excluded.
constexpr HintRegion kRegions[TunerWindow::kHintRegions] = {
    {10, 308, 75, 332},   // concert A button
    {10, 43, 40, 300},    // energy gauge
    {50, 43, 290, 300},   // fine-tuning gauge
    {80, 308, 147, 332},  // Options button
    {152, 308, 220, 332}, // Help button
    {225, 308, 290, 332}, // Exit button
    {170, 5, 291, 42},    // logo
    {5, 5, 110, 30},      // key label and key selector
};

bool Inside(const HintRegion& r, int x, int y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

} // namespace

QRect TunerWindow::HintRegion(int index) {
    if (index < 0 || index >= kHintRegions)
        return {};
    const auto& r = kRegions[index];
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

QString TunerWindow::FineGaugeHint(bool strobe) {
    if (strobe)
        return QStringLiteral("Strobe, one band per harmonic 1 to 4: still when in tune, moving "
                              "right when sharp.  S shows the needle.");
    return QStringLiteral("Fine Tuning Gauge, Shows the root note and percent away from the "
                          "half-step.  S shows the strobe.");
}

QString TunerWindow::HintText(int index) const {
    if (index < 0 || index >= kHintTexts)
        return {};
    return m_hintTexts[static_cast<size_t>(index)];
}

void TunerWindow::FillHints() {
    m_hintTexts[0] = QStringLiteral("Set the Concert A Frequency.  Changes the base tuning to "
                                    "tune slightly higher or lower.");
    m_hintTexts[1] = QStringLiteral(
        "Recording Energy Gauge.  Shows the current energy in the recording device.");
    m_hintTexts[2] = FineGaugeHint(m_bStrobe);
    m_hintTexts[3] = QStringLiteral(
        "Options.  Customize the color scheme, or change the recording and midi devices.");
    m_hintTexts[4] = QStringLiteral("Help.  Use for detailed help on using Tarvo Tuner.");
    m_hintTexts[5] = QStringLiteral("Exit Tarvo Tuner.");
    m_hintTexts[6] =
        QStringLiteral("Click the logo to jump to our web page, ") + QLatin1String(kProductHost);
    m_hintTexts[7] = QStringLiteral("Concert Pitch Selection.  Select the key of your instrument "
                                    "to display the concert pitch.");
}

void TunerWindow::OnPointerMove(int x, int y) {
    int found = -1;
    for (int i = 0; i < kHintRegions; ++i) {
        if (Inside(kRegions[i], x, y)) {
            found = i;
            break;
        }
    }
    // Outside every region the line keeps the last hint.
    if (found < 0) {
        m_nCurrentHint = -1;
        return;
    }
    if (found == m_nCurrentHint)
        return;
    m_nCurrentHint = found;
    if (m_pHintLine)
        m_pHintLine->setText(m_hintTexts[static_cast<size_t>(found)]);
}

void TunerWindow::OnLeftButtonDown(int x, int y) {
    m_nLeftArm = Inside(kRegions[kLogoHint], x, y) ? kArmed : -1;
}

void TunerWindow::OnLeftButtonUp(int x, int y) {
    if (Inside(kRegions[kLogoHint], x, y) && m_nLeftArm == kArmed) {
        OpenWebPage();
        m_nLeftArm = -1;
    }
}

void TunerWindow::OnRightButtonDown(int x, int y) {
    m_nRightArm = Inside(kRegions[kLogoHint], x, y) ? kArmed : -1;
}

void TunerWindow::OnRightButtonUp(int x, int y) {
    if (Inside(kRegions[kLogoHint], x, y) && m_nRightArm == kArmed)
        OpenWebPage();
    m_nRightArm = -1;
}

void TunerWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    OnPointerMove(at.x(), at.y());
    QWidget::mouseMoveEvent(event);
}

void TunerWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLeftButtonDown(at.x(), at.y());
    else if (event->button() == Qt::RightButton)
        OnRightButtonDown(at.x(), at.y());
    QWidget::mousePressEvent(event);
}

void TunerWindow::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLeftButtonUp(at.x(), at.y());
    else if (event->button() == Qt::RightButton)
        OnRightButtonUp(at.x(), at.y());
    QWidget::mouseReleaseEvent(event);
}

void TunerWindow::OpenWebPage() {
    OpenProductWebPage();
}
