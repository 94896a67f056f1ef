#include "display/HintSliderCtrl.h"

#include <QApplication>
#include <QMouseEvent>

HintSliderCtrl::HintSliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    // Pointer moves without a button pressed must reach the slider to be reported.
    setMouseTracking(true);
}

void HintSliderCtrl::PokeParent() {
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    const QPointF origin(0, 0);
    QMouseEvent move(QEvent::MouseMove, origin, parent->mapToGlobal(origin), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(parent, &move);
}

void HintSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    PokeParent();
    QSlider::mouseMoveEvent(event);
}

void HintSliderCtrl::wheelEvent(QWheelEvent* event) {
    PokeParent();
    QSlider::wheelEvent(event);
}

void HintSliderCtrl::keyPressEvent(QKeyEvent* event) {
    QSlider::keyPressEvent(event);
    PokeParent();
}

void HintSliderCtrl::keyReleaseEvent(QKeyEvent* event) {
    QSlider::keyReleaseEvent(event);
    PokeParent();
}
