#pragma once

#include <cstdint>

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

// One colour of the colour scheme shown as a solid rectangle on a static control of a dialog
// page. The picture lives in an off-screen image the size of the control's client area, so the
// page can recolour a swatch at any time and repaint it from that image. The swatch handles no
// pointer input: presses over it reach the page.
class ColorSwatch {
public:
    ColorSwatch();
    ~ColorSwatch();
    ColorSwatch(const ColorSwatch&) = delete;
    ColorSwatch& operator=(const ColorSwatch&) = delete;

    // Binds the swatch to the child of `page` whose control id (SetControlId) is `controlId`; the
    // image starts black. False when the page has no such control.
    bool Create(QWidget* page, int controlId);
    // Fills the whole image with a colour packed 0x00BBGGRR; nothing reaches the screen yet.
    void Fill(uint32_t color);
    // Copies the image to the control now.
    void Draw();
    // Marks the whole control as needing paint and repaints it at once from the image.
    void Paint();

    int Width() const { return m_rcClient.width(); }
    int Height() const { return m_rcClient.height(); }
    const QImage& Surface() const { return m_surface; }
    QWidget* Control() const { return m_pControl; }

private:
    class View;

    QImage m_surface;
    QWidget* m_pPage = nullptr;
    QPointer<QWidget> m_pControl;
    QPointer<QWidget> m_pView; // paints m_surface over the control's client area
    QRect m_rcClient;
};
