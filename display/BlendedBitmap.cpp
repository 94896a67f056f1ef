#include "display/BlendedBitmap.h"

#include "display/BmpFile.h"
#include "display/Surface.h"

bool BlendedBitmap::Load(const std::string& pictureFile, const std::string& opacityFile,
                         std::string* why) {
    m_picture = m_opacity = m_result = QImage();
    m_nWidth = m_nHeight = 0;
    if (!bmp::ReadPair(pictureFile, opacityFile, m_picture, m_opacity, why))
        return false;
    m_nWidth = m_picture.width();
    m_nHeight = m_picture.height();
    m_result = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
    m_result.fill(surface::kWhite);
    return true;
}

bool BlendedBitmap::BlendWith(std::uint32_t background) {
    if (m_result.isNull())
        return true;
    const QRgb g = surface::ToRgb(background);
    const int gc[3] = {qRed(g), qGreen(g), qBlue(g)};
    for (int x = 0; x < m_nWidth; ++x) {
        for (int y = 0; y < m_nHeight; ++y) {
            const QRgb p = reinterpret_cast<const QRgb*>(m_picture.constScanLine(y))[x];
            const double f = surface::BlueAt(m_opacity, x, y) / 256.0;
            const int pc[3] = {qRed(p), qGreen(p), qBlue(p)};
            int rc[3];
            for (int c = 0; c < 3; ++c)
                rc[c] = pc[c] + static_cast<int>(f * (gc[c] - pc[c])); // truncates toward zero
            reinterpret_cast<QRgb*>(m_result.scanLine(y))[x] = qRgb(rc[0], rc[1], rc[2]);
        }
    }
    return true;
}

void BlendedBitmap::Draw(QImage& target, int x, int y) const {
    if (m_result.isNull())
        return;
    surface::CopyRect(target, x, y, m_result, m_result.rect());
}
