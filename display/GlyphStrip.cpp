#include "display/GlyphStrip.h"

#include "display/BmpFile.h"
#include "display/Surface.h"

bool GlyphStrip::Load(const std::string& colorAmountFile, const std::string& bevelFile,
                      std::string* why) {
    m_colorAmount = m_bevel = m_result = QImage();
    m_nWidth = m_nHeight = 0;
    if (!bmp::ReadPair(colorAmountFile, bevelFile, m_colorAmount, m_bevel, why))
        return false;
    m_nWidth = m_colorAmount.width();
    m_nHeight = m_colorAmount.height();
    m_result = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
    Compose();
    return true;
}

void GlyphStrip::SetColor(std::uint32_t textColor) {
    m_textColor = textColor;
    Compose();
}

void GlyphStrip::Compose() {
    if (m_result.isNull())
        return;
    const QRgb t = surface::ToRgb(m_textColor);
    const int tc[3] = {qRed(t), qGreen(t), qBlue(t)};
    for (int x = 0; x < m_nWidth; ++x) {
        for (int y = 0; y < m_nHeight; ++y) {
            const double k1 = 1.0 - surface::BlueAt(m_colorAmount, x, y) / 256.0;
            const double k2 = 1.0 - surface::BlueAt(m_bevel, x, y) / 256.0;
            int rc[3];
            for (int c = 0; c < 3; ++c) {
                // White moved towards the text colour, then darkened by the bevel.
                const int m = 255 + static_cast<int>(k1 * (tc[c] - 255));
                rc[c] = m - static_cast<int>(k2 * m);
            }
            reinterpret_cast<QRgb*>(m_result.scanLine(y))[x] = qRgb(rc[0], rc[1], rc[2]);
        }
    }
}

void GlyphStrip::DrawGlyph(QImage& target, int x, int y, int left, int top, int right,
                           int bottom) const {
    if (m_result.isNull() || right <= left || bottom <= top)
        return;
    surface::CopyRect(target, x, y, m_result, QRect(left, top, right - left, bottom - top));
}
