// Keyboard commands of the main window. Letters reach OnChar from the window itself (either
// case) and from the hint controls' key releases (upper case), Tab the same way, so the
// commands work whichever control has the focus.

#include "app/TunerWindow.h"

#include "dialogs/Launch.h"
#include "display/HintControls.h"

#include <QKeyEvent>

void TunerWindow::OnChar(int code) {
    if (m_bDestroyed || !m_bCreated)
        return;
    switch (code) {
    case '\t':
        MoveFocusRing();
        break;
    case 'O':
    case 'o':
        m_pOptions->setFocus(Qt::ShortcutFocusReason);
        ShowOptions();
        break;
    case 'H':
    case 'h':
        m_pHelp->setFocus(Qt::ShortcutFocusReason);
        OpenHelp();
        break;
    case 'E':
    case 'e':
        m_pExit->setFocus(Qt::ShortcutFocusReason);
        OnExit();
        break;
    case 'F':
    case 'f': {
        const bool on = !m_bShowFps.load(std::memory_order_relaxed);
        m_bShowFps.store(on, std::memory_order_relaxed);
        if (!on)
            setWindowTitle(m_strBaseTitle);
        break;
    }
    case 'S':
    case 's':
        ShowStrobe(!m_bStrobe);
        break;
    default:
        break;
    }
}

void TunerWindow::MoveFocusRing() {
    QWidget* focus = focusWidget();
    if (focus == nullptr || focus == this) {
        m_pKeySelector->setFocus(Qt::TabFocusReason);
        m_nFocusCycle = 0;
    } else if (focus == m_pKeySelector) {
        // Swallows the release of the Tab press that brought the focus here from the window.
        if (++m_nFocusCycle >= 2)
            m_strAButton->setFocus(Qt::TabFocusReason);
    } else if (focus == m_strAButton) {
        m_pOptions->setFocus(Qt::TabFocusReason);
    } else if (focus == m_pOptions) {
        m_pHelp->setFocus(Qt::TabFocusReason);
    } else if (focus == m_pHelp) {
        m_pExit->setFocus(Qt::TabFocusReason);
    } else if (focus == m_pExit) {
        m_pKeySelector->setFocus(Qt::TabFocusReason);
    }
}

void TunerWindow::keyPressEvent(QKeyEvent* event) {
    QWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        OnChar('\t');
    } else {
        for (const QChar c : event->text())
            OnChar(c.unicode());
    }
    event->accept();
}

bool TunerWindow::focusNextPrevChild(bool) {
    // Tab is a keyboard command with its own ring, not Qt's focus chain.
    return false;
}

bool TunerWindow::event(QEvent* event) {
    if (event->type() == HintCharEvent::EventType()) {
        OnChar(static_cast<HintCharEvent*>(event)->Code());
        return true;
    }
    return QWidget::event(event);
}

void TunerWindow::OpenHelp() {
    OpenHelpPage();
}
