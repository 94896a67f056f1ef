#include "dialogs/DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QVariant>

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Average width over the Latin letters, rounded, as the system computes dialog base units.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = (letters / 26 + 1) / 2;
    m_nBaseY = metrics.height();
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    if (m_nBaseY < 1)
        m_nBaseY = 1;
}

int DialogUnits::MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    // Rounds half away from zero.
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

QFont DialogFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QWidget* FindControl(const QWidget* root, int id) {
    for (QWidget* child : root->findChildren<QWidget*>()) {
        if (ControlId(child) == id)
            return child;
    }
    return nullptr;
}
