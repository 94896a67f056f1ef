#pragma once

#include <QComboBox>
#include <QEvent>
#include <QList>
#include <QPushButton>

// Child controls of the main window that would otherwise hide the pointer and the keyboard from
// it: each reports pointer moves to its parent as a pointer-moved event in the parent's own
// coordinates (handled before the control's own handling), and passes key releases on as a
// HintCharEvent, so that the window's hints and keyboard commands work whatever has the focus.
// A release is passed on only when the control also had the key's press (Tab always): a press
// the window acted on, moving the focus here, must not act a second time at its release.

// A key release passed on by a hint control: the key's code as a character, letters in upper
// case, Tab as 9. Sent synchronously, so the parent has acted on it when sendEvent returns.
class HintCharEvent : public QEvent {
public:
    explicit HintCharEvent(int code) : QEvent(EventType()), m_nCode(code) {}
    int Code() const { return m_nCode; }
    static QEvent::Type EventType();

private:
    int m_nCode;
};

// The character a key release reports, or 0 for keys that have none (arrows, modifiers ...).
int HintCharCode(int qtKey);

class HintButton : public QPushButton {
public:
    HintButton(const QString& text, int id, QWidget* parent);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    int m_nPressedKey = 0;
};

class HintComboBox : public QComboBox {
public:
    HintComboBox(int id, QWidget* parent);

    // Keys that are the window's commands: their presses do not reach the list's type-ahead,
    // so a command never changes the selection on its way (E would select "Eb").
    void SetCommandKeys(QList<int> keys) { m_commandKeys = std::move(keys); }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    int m_nPressedKey = 0;
    QList<int> m_commandKeys;
};

// Control id as the window's code and tests find it: object name "id<N>" and property "id".
void SetControlId(QWidget* control, int id);
int ControlId(const QWidget* control);
