#include "display/SkinBitmap.h"

#include "display/BmpFile.h"
#include "display/Surface.h"

bool SkinBitmap::Load(const std::string& file, std::string* why) {
    m_image = bmp::Read(file, why);
    if (m_image.isNull() && why != nullptr)
        *why = file + ": " + *why;
    m_nWidth = m_image.width();
    m_nHeight = m_image.height();
    return !m_image.isNull();
}

void SkinBitmap::Draw(QImage& target, int x, int y) const {
    if (m_image.isNull())
        return;
    surface::CopyRect(target, x, y, m_image, m_image.rect());
}

void SkinBitmap::DrawPart(QImage& target, int x, int y, int sx, int sy, int width,
                          int height) const {
    if (m_image.isNull() || width <= 0 || height <= 0)
        return;
    surface::CopyRect(target, x, y, m_image, QRect(sx, sy, width, height));
}

bool MaskedBitmap::Load(const std::string& file, std::uint32_t transparentColor, std::string* why) {
    m_image = m_cutOut = QImage();
    m_mask.clear();
    m_nWidth = m_nHeight = 0;
    QImage image = bmp::Read(file, why);
    if (image.isNull()) {
        if (why != nullptr)
            *why = file + ": " + *why;
        return false;
    }
    m_image = std::move(image);
    m_nWidth = m_image.width();
    m_nHeight = m_image.height();
    const QRgb key = surface::ToRgb(transparentColor) & 0x00FFFFFFu;
    m_mask.assign(static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight), 0);
    m_cutOut = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
    for (int y = 0; y < m_nHeight; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
        QRgb* out = reinterpret_cast<QRgb*>(m_cutOut.scanLine(y));
        for (int x = 0; x < m_nWidth; ++x) {
            const bool transparent = (in[x] & 0x00FFFFFFu) == key;
            m_mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nWidth) +
                   static_cast<std::size_t>(x)] = transparent ? 1 : 0;
            out[x] = transparent ? qRgb(0, 0, 0) : in[x];
        }
    }
    return true;
}

void MaskedBitmap::Draw(QImage& target, int x, int y) const {
    if (m_image.isNull())
        return;
    const QRect area = QRect(x, y, m_nWidth, m_nHeight).intersected(target.rect());
    for (int ty = area.top(); ty <= area.bottom(); ++ty) {
        const int sy = ty - y;
        const QRgb* cut = reinterpret_cast<const QRgb*>(m_cutOut.constScanLine(sy));
        const std::uint8_t* mask =
            m_mask.data() + static_cast<std::size_t>(sy) * static_cast<std::size_t>(m_nWidth);
        QRgb* out = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int tx = area.left(); tx <= area.right(); ++tx) {
            const int sx = tx - x;
            // Background AND mask, then XOR cut-out: transparent pixels keep the background.
            if (!mask[sx])
                out[tx] = cut[sx];
        }
    }
}
