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

// True when rectangle r of `a` (a 32-bit RGB picture) is all `colour`.
inline bool AllColour(const QImage& a, const QRect& r, QRgb colour) {
    QImage solid(r.size(), QImage::Format_RGB32);
    solid.fill(colour);
    return a.copy(r) == solid;
}

inline std::uint32_t Rgb(QRgb p) {
    return p & 0xFFFFFFu;
}

} // namespace testutil
