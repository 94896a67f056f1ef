#pragma once

#include <QSlider>

// A horizontal slider that tells its parent about pointer moves, wheel turns and keys by sending
// it a pointer-moved event at (0, 0), so the parent can take the slider position as its value
// whatever the slider was moved by.
class HintSliderCtrl : public QSlider {
public:
    explicit HintSliderCtrl(QWidget* parent = nullptr);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void PokeParent();
};
