#include "display/EnergyGauge.h"

#include <cmath>

bool EnergyGauge::Create(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return false;
    m_nLeft = left;
    m_nTop = top;
    m_nRight = right;
    m_nBottom = bottom;
    m_ramp = QImage(right - left, bottom - top, QImage::Format_RGB32);
    m_ramp.fill(surface::kWhite);
    m_display = QImage(right - left, bottom - top, QImage::Format_RGB32);
    m_display.fill(surface::kWhite);
    m_nLevel = m_nPrevLevel = 0;
    return true;
}

void EnergyGauge::SetColors(std::uint32_t highColor, std::uint32_t lowColor) {
    m_highColor = highColor;
    m_lowColor = lowColor;
    PaintRamp();
}

void EnergyGauge::PaintRamp() {
    if (m_ramp.isNull())
        return;
    const int width = m_nRight - m_nLeft;
    const int n = (m_nBottom - m_nTop) / 2;
    const int steps = n + 2;
    const QRgb high = surface::ToRgb(m_highColor);
    const QRgb low = surface::ToRgb(m_lowColor);
    const int lc[3] = {qRed(low), qGreen(low), qBlue(low)};
    const float d[3] = {static_cast<float>(qRed(high) - lc[0]) / static_cast<float>(steps),
                        static_cast<float>(qGreen(high) - lc[1]) / static_cast<float>(steps),
                        static_cast<float>(qBlue(high) - lc[2]) / static_cast<float>(steps)};
    // Each step fills rows y .. 2y - 1; later (smaller) fills paint over earlier ones, so
    // the rows end up in pairs of ascending steps towards the top.
    for (int i = 0; i < steps; ++i) {
        const int y = n - i;
        if (y <= 0)
            continue;
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = lc[k] + static_cast<int>(static_cast<float>(i) * d[k]);
        surface::FillRect(m_ramp, QRect(0, y, width, y), qRgb(c[0], c[1], c[2]));
    }
}

void EnergyGauge::SetLevel(float level) {
    float l = level;
    if (!(l >= 0.0f)) // also catches NaN
        l = 0.0f;
    if (l > 1.0f)
        l = 1.0f;
    m_nLevel = static_cast<int>(l * static_cast<float>(m_nBottom - m_nTop - 4));
}

QRect EnergyGauge::Area() const {
    return QRect(m_nLeft, m_nTop, m_nRight - m_nLeft, m_nBottom - m_nTop);
}

void EnergyGauge::TakeColors(const ColorScheme& colors) {
    SetColors(colors.highEnergyColor, colors.lowEnergyColor);
}

void EnergyGauge::TakeReading(const InstrumentReading& reading, double /*timeMs*/) {
    SetLevel(reading.level);
}

ChangedRects EnergyGauge::Draw(QImage& target, bool full, double /*timeMs*/) {
    ChangedRects changed;
    if (m_ramp.isNull())
        return changed;
    const int width = m_nRight - m_nLeft;
    const int height = m_nBottom - m_nTop;
    if (full) {
        surface::DrawSunkenEdge(m_display, m_display.rect());
        surface::FillRect(m_display, QRect(2, 2, width - 4, height - m_nLevel - 4),
                          surface::kWhite);
        const QRect bar(2, height - m_nLevel - 2, width - 4, m_nLevel);
        surface::CopyRect(m_display, bar.left(), bar.top(), m_ramp, bar);
        changed.Add(surface::CopyRect(target, m_nLeft, m_nTop, m_display, m_display.rect()));
    } else {
        const int oldTop = height - m_nPrevLevel - 2;
        const int newTop = height - m_nLevel - 2;
        if (oldTop < newTop) {
            const QRect fell(m_nLeft + 2, m_nTop + oldTop, width - 4, newTop - oldTop);
            surface::FillRect(target, fell, surface::kWhite);
            changed.Add(fell.intersected(target.rect()));
        } else {
            changed.Add(surface::CopyRect(target, m_nLeft + 2, m_nTop + newTop, m_ramp,
                                          QRect(2, newTop, width - 4, oldTop - newTop)));
        }
    }
    m_nPrevLevel = m_nLevel;
    return changed;
}
