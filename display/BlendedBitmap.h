#pragma once
// The logo: a picture blended towards a background colour through a grey opacity picture.

#include <QImage>

#include <cstdint>
#include <string>

class BlendedBitmap {
public:
    // Reads the picture and the opacity picture (24-bit BMP). True when both were read.
    // Width and height come from the picture; opacity pixels outside a smaller opacity
    // picture count as blue 255. A failed load leaves the skin empty.
    bool Load(const std::string& pictureFile, const std::string& opacityFile,
              std::string* why = nullptr);

    // Recomputes the result: per channel P + trunc(a/256 x (G - P)), a = opacity blue,
    // G = background (0x00BBGGRR). Always true.
    bool BlendWith(std::uint32_t background);

    // Copies the whole result to (x, y) of target, clipped; nothing when empty.
    void Draw(QImage& target, int x, int y) const;

    bool Empty() const { return m_result.isNull(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const QImage& Result() const { return m_result; }

private:
    QImage m_picture;
    QImage m_opacity;
    QImage m_result;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
