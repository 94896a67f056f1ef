#pragma once
// Helpers shared by the display tests.

#include "display/BmpFile.h"

#include <QImage>
#include <QRect>
#include <QTemporaryDir>

#include <cstdint>
#include <string>

namespace testutil {

inline std::string ArtDir() {
    return TARVO_DATA_DIR;
}

// A picture filled with one colour (r, g, b).
inline QImage Solid(int w, int h, int r, int g, int b) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(r, g, b));
    return image;
}

inline std::string WriteTemp(const QTemporaryDir& dir, const std::string& name,
                             const QImage& image) {
    const std::string path = dir.path().toStdString() + "/" + name;
    bmp::Write(image, path);
    return path;
}

// True when the w x h block of `a` at (ax, ay) equals the block of `b` at (bx, by).
inline bool SameBlock(const QImage& a, int ax, int ay, const QImage& b, int bx, int by, int w,
                      int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((a.pixel(ax + x, ay + y) & 0xFFFFFF) != (b.pixel(bx + x, by + y) & 0xFFFFFF))
                return false;
    return true;
}

inline bool AllColour(const QImage& a, const QRect& r, QRgb colour) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF))
                return false;
    return true;
}

inline std::uint32_t Rgb(QRgb p) {
    return p & 0xFFFFFFu;
}

} // namespace testutil
