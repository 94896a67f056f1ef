#include "display/ColorSwatch.h"

#include "display/HintControls.h"

#include <QFrame>
#include <QPainter>
#include <QWidget>

namespace {

QRgb FromBgr(uint32_t color) {
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QWidget* FindById(QWidget* page, int controlId) {
    for (QWidget* child : page->findChildren<QWidget*>()) {
        if (ControlId(child) == controlId)
            return child;
    }
    return nullptr;
}

} // namespace

// Sits on the control's client area and copies the swatch image; transparent for the pointer so
// presses reach the page.
class ColorSwatch::View : public QWidget {
public:
    View(QWidget* control, const QImage* image) : QWidget(control), m_pImage(image) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, *m_pImage);
    }

private:
    const QImage* m_pImage;
};

ColorSwatch::ColorSwatch() = default;

ColorSwatch::~ColorSwatch() {
    // The view reads m_surface, so it must not outlive the swatch; the control may already have
    // taken it down with itself.
    delete m_pView.data();
}

bool ColorSwatch::Create(QWidget* page, int controlId) {
    QWidget* control = page ? FindById(page, controlId) : nullptr;
    if (!control)
        return false;
    delete m_pView.data();
    m_pPage = page;
    m_pControl = control;
    auto* frame = qobject_cast<QFrame*>(control);
    m_rcClient = frame ? frame->contentsRect() : control->rect();
    m_surface = QImage(m_rcClient.size(), QImage::Format_RGB32);
    m_surface.fill(Qt::black);
    m_pView = new View(control, &m_surface);
    m_pView->setGeometry(m_rcClient);
    m_pView->show();
    return true;
}

void ColorSwatch::Fill(uint32_t color) {
    m_surface.fill(FromBgr(color));
}

void ColorSwatch::Draw() {
    if (m_pView)
        m_pView->repaint();
}

void ColorSwatch::Paint() {
    if (m_pView) {
        m_pView->update();
        m_pView->repaint();
    }
}
