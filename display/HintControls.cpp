#include "display/HintControls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

QEvent::Type HintCharEvent::EventType() {
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
}

int HintCharCode(int qtKey) {
    if (qtKey == Qt::Key_Tab || qtKey == Qt::Key_Backtab)
        return 9;
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter)
        return 13;
    if (qtKey == Qt::Key_Escape)
        return 27;
    // Qt's codes for printable keys are their (upper-case) characters.
    if (qtKey >= 0x20 && qtKey < 0x7f)
        return qtKey;
    return 0;
}

void SetControlId(QWidget* control, int id) {
    control->setObjectName(QStringLiteral("id%1").arg(id));
    control->setProperty("id", id);
}

int ControlId(const QWidget* control) {
    const QVariant id = control->property("id");
    return id.isValid() ? id.toInt() : 0;
}

namespace {

// The parent handles the move at once, before the control goes on with its own handling.
void ReportPointer(QWidget* control, const QMouseEvent* event) {
    QWidget* parent = control->parentWidget();
    if (!parent)
        return;
    const QPointF at = control->mapToParent(event->position());
    QMouseEvent move(QEvent::MouseMove, at, event->globalPosition(), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(parent, &move);
}

void NotePress(int& pressedKey, const QKeyEvent* event) {
    if (!event->isAutoRepeat())
        pressedKey = event->key();
}

void ReportKeyRelease(QWidget* control, const QKeyEvent* event, int& pressedKey) {
    // Holding a key down repeats press/release pairs; only the real release counts.
    if (event->isAutoRepeat())
        return;
    const bool pressedHere = pressedKey == event->key();
    pressedKey = 0;
    QWidget* parent = control->parentWidget();
    const int code = HintCharCode(event->key());
    // Tab's release always reports: the window's focus ring counts on it (its first step).
    if (!parent || code == 0 || (!pressedHere && code != '\t'))
        return;
    HintCharEvent character(code);
    QApplication::sendEvent(parent, &character);
}

} // namespace

HintButton::HintButton(const QString& text, int id, QWidget* parent) : QPushButton(text, parent) {
    SetControlId(this, id);
    setMouseTracking(true);
    // Tab is one of the window's keyboard commands, not Qt's focus chain.
    setFocusPolicy(Qt::StrongFocus);
}

void HintButton::mouseMoveEvent(QMouseEvent* event) {
    ReportPointer(this, event);
    QPushButton::mouseMoveEvent(event);
}

void HintButton::keyPressEvent(QKeyEvent* event) {
    NotePress(m_nPressedKey, event);
    QPushButton::keyPressEvent(event);
    // A press the button ignores must not also reach the window: the release reports it.
    event->accept();
}

void HintButton::keyReleaseEvent(QKeyEvent* event) {
    QPushButton::keyReleaseEvent(event);
    ReportKeyRelease(this, event, m_nPressedKey);
    event->accept();
}

HintComboBox::HintComboBox(int id, QWidget* parent) : QComboBox(parent) {
    SetControlId(this, id);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void HintComboBox::mouseMoveEvent(QMouseEvent* event) {
    ReportPointer(this, event);
    QComboBox::mouseMoveEvent(event);
}

void HintComboBox::keyPressEvent(QKeyEvent* event) {
    NotePress(m_nPressedKey, event);
    if (!m_commandKeys.contains(event->key()))
        QComboBox::keyPressEvent(event);
    event->accept();
}

void HintComboBox::keyReleaseEvent(QKeyEvent* event) {
    QComboBox::keyReleaseEvent(event);
    ReportKeyRelease(this, event, m_nPressedKey);
    event->accept();
}
