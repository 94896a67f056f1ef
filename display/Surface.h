#pragma once
// Small pixel helpers shared by the skins and gauges. Surfaces are QImage in Format_RGB32;
// colours handed in by the rest of the program are 0x00BBGGRR (red in the low byte).

#include <QImage>
#include <QRect>
#include <QRgb>

#include <array>
#include <cstdint>

namespace surface {

// 0x00BBGGRR -> QRgb (opaque).
inline QRgb ToRgb(std::uint32_t colorRef) {
    return qRgb(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                static_cast<int>((colorRef >> 16) & 0xFF));
}

// QRgb -> 0x00BBGGRR.
inline std::uint32_t ToColorRef(QRgb rgb) {
    return static_cast<std::uint32_t>(qRed(rgb)) | (static_cast<std::uint32_t>(qGreen(rgb)) << 8) |
           (static_cast<std::uint32_t>(qBlue(rgb)) << 16);
}

inline constexpr QRgb kWhite = 0xFFFFFFFFu;

// Blue of a pixel of a grey control picture; outside a smaller picture it reads as 255.
inline int BlueAt(const QImage& image, int x, int y) {
    if (x >= image.width() || y >= image.height())
        return 255;
    return qBlue(reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]);
}

// Fills rect (clipped to the image) with colour.
void FillRect(QImage& image, const QRect& rect, QRgb colour);

// Block copy of source rectangle `from` to (x, y) of target, clipped to both surfaces.
// Returns the target rectangle actually written (empty when nothing was).
QRect CopyRect(QImage& target, int x, int y, const QImage& source, const QRect& from);

// A sunken two-pixel edge around rect (outer ring shadow/highlight, inner ring dark
// shadow/light), the classic 3-D look of a recessed panel.
void DrawSunkenEdge(QImage& image, const QRect& rect);

} // namespace surface

// Rectangles of the window's client area that a gauge's Draw changed; the window repaints
// just these. Fixed capacity so that a frame's drawing allocates nothing.
class ChangedRects {
public:
    static constexpr int kMax = 4;

    void Add(const QRect& rect) {
        if (!rect.isEmpty() && m_nCount < kMax)
            m_rects[static_cast<std::size_t>(m_nCount++)] = rect;
    }
    int Count() const { return m_nCount; }
    bool Empty() const { return m_nCount == 0; }
    const QRect& operator[](int i) const { return m_rects[static_cast<std::size_t>(i)]; }
    const QRect* begin() const { return m_rects.data(); }
    const QRect* end() const { return m_rects.data() + m_nCount; }
    QRect Bounding() const {
        QRect r;
        for (const QRect& x : *this)
            r = r.united(x);
        return r;
    }

private:
    std::array<QRect, kMax> m_rects{};
    int m_nCount = 0;
};
