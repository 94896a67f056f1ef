#include "display/Surface.h"

namespace surface {

void FillRect(QImage& image, const QRect& rect, QRgb colour) {
    const QRect r = rect.intersected(image.rect());
    if (r.isEmpty())
        return;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            line[x] = colour;
    }
}

QRect CopyRect(QImage& target, int x, int y, const QImage& source, const QRect& from) {
    // Clip the source rectangle to the source, shift the target origin alike, then clip
    // the target rectangle to the target and shift the source back.
    QRect src = from.intersected(source.rect());
    if (src.isEmpty())
        return {};
    QRect dst(x + (src.left() - from.left()), y + (src.top() - from.top()), src.width(),
              src.height());
    const QRect clipped = dst.intersected(target.rect());
    if (clipped.isEmpty())
        return {};
    src.translate(clipped.left() - dst.left(), clipped.top() - dst.top());
    const int width = clipped.width();
    for (int row = 0; row < clipped.height(); ++row) {
        const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(src.top() + row));
        QRgb* out = reinterpret_cast<QRgb*>(target.scanLine(clipped.top() + row));
        for (int i = 0; i < width; ++i)
            out[clipped.left() + i] = in[src.left() + i];
    }
    return clipped;
}

namespace {

void Ring(QImage& image, const QRect& r, QRgb topLeft, QRgb bottomRight) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const int l = r.left();
    const int t = r.top();
    const int rr = r.left() + r.width(); // excluded
    const int b = r.top() + r.height();  // excluded
    FillRect(image, QRect(l, t, 1, b - t), topLeft);
    FillRect(image, QRect(l, t, rr - l, 1), topLeft);
    // The right and bottom lines are drawn last and so own the two far corners.
    FillRect(image, QRect(rr - 1, t, 1, b - t), bottomRight);
    FillRect(image, QRect(l, b - 1, rr - l, 1), bottomRight);
}

} // namespace

void DrawSunkenEdge(QImage& image, const QRect& rect) {
    // Classic 3-D colours: shadow, highlight, dark shadow, light.
    Ring(image, rect, qRgb(128, 128, 128), qRgb(255, 255, 255));
    Ring(image, rect.adjusted(1, 1, -1, -1), qRgb(64, 64, 64), qRgb(227, 227, 227));
}

} // namespace surface
