#pragma once
// One row of glyphs tinted with the text colour: a grey colour-amount picture says how much
// text colour each pixel takes (blue 0 = all, 255 = none, i.e. white) and a grey bevel
// picture darkens the result (blue 255 = unchanged, 0 = black).

#include <QImage>

#include <cstdint>
#include <string>

class GlyphStrip {
public:
    // Reads both pictures (24-bit BMP) and composes the result with the current text colour.
    // True when both were read; a failed load leaves the strip empty (it then draws nothing).
    bool Load(const std::string& colorAmountFile, const std::string& bevelFile,
              std::string* why = nullptr);

    // Stores the text colour (0x00BBGGRR) and recomposes the result.
    void SetColor(std::uint32_t textColor);

    // Copies the result's rectangle (left, top)-(right, bottom), right column and bottom row
    // excluded, to (x, y) of target, clipped; nothing when the strip is empty.
    void DrawGlyph(QImage& target, int x, int y, int left, int top, int right, int bottom) const;

    bool Empty() const { return m_result.isNull(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    std::uint32_t Color() const { return m_textColor; }
    const QImage& Result() const { return m_result; }

private:
    void Compose();

    QImage m_colorAmount;
    QImage m_bevel;
    QImage m_result;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::uint32_t m_textColor = 0x000000;
};
