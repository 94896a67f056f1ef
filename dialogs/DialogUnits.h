#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include "display/HintControls.h"

// Dialog templates give positions in dialog units, which scale with the dialog font: a horizontal
// unit is a quarter of the font's average character width, a vertical unit an eighth of its
// height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int x) const { return MulDiv(x, m_nBaseX, 4); }
    int Y(int y) const { return MulDiv(y, m_nBaseY, 8); }
    // Maps the template rectangle (x, y, width, height) corner by corner, as a template would.
    QRect Rect(int x, int y, int w, int h) const;
    int BaseY() const { return m_nBaseY; }

    static int MulDiv(int a, int b, int c);

private:
    int m_nBaseX;
    int m_nBaseY;
};

// The templates ask for "MS Sans Serif" 8 point; the desktop's sans-serif face stands in for it.
QFont DialogFont();

// The templates' numeric control ids sit on the widgets (SetControlId of the hint controls), so
// code and tests find a control by its id: the first descendant of `root` carrying `id`.
QWidget* FindControl(const QWidget* root, int id);

template <typename T> T* FindControl(const QWidget* root, int id) {
    return qobject_cast<T*>(FindControl(root, id));
}
