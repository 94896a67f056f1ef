#pragma once
// Plain and transparent bitmap skins read from 24-bit BMP files.

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

// A bitmap copied as it is (the printed scale behind the needle).
class SkinBitmap {
public:
    // True when the file was read; otherwise the skin stays empty and draws nothing.
    bool Load(const std::string& file, std::string* why = nullptr);

    // Copies the whole bitmap to (x, y) of target, clipped.
    void Draw(QImage& target, int x, int y) const;

    // Copies the part at (sx, sy), width x height, to (x, y) of target, clipped to both.
    void DrawPart(QImage& target, int x, int y, int sx, int sy, int width, int height) const;

    bool Empty() const { return m_image.isNull(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const QImage& Image() const { return m_image; }

private:
    QImage m_image;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

// A bitmap whose pixels of one colour let the target show through (the needle hub, white
// transparent).
class MaskedBitmap {
public:
    // True when the file was read; builds the mask (1 where the pixel equals the transparent
    // colour, 0x00BBGGRR) and the cut-out (transparent pixels black).
    bool Load(const std::string& file, std::uint32_t transparentColor, std::string* why = nullptr);

    // Draws at (x, y): pixels of the transparent colour keep what lies beneath, every other
    // pixel is copied. Clipped; nothing when empty.
    void Draw(QImage& target, int x, int y) const;

    bool Empty() const { return m_image.isNull(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    QImage m_image;
    QImage m_cutOut;
    std::vector<std::uint8_t> m_mask; // one byte per pixel, row-major, 1 = transparent
    int m_nWidth = 0;
    int m_nHeight = 0;
};
