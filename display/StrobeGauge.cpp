#include "display/StrobeGauge.h"

#include "display/FineTuningGauge.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using finetuning::kViewTop;

// In the coordinates of the strobe's surface (the panel's rows from kViewTop down).
constexpr QRect kInside(2, 0, 236, 255 - kViewTop);
constexpr int kBandX = 12;
constexpr int kFirstBandY = 6;
constexpr int kBandPitch = 47; // band height and the gap below it
constexpr int kDotX = 4;
constexpr int kDotSize = 3;
constexpr int kDotPitch = 5;
constexpr QRgb kFrameRgb = 0xFFC0C0C0;
// A pattern offset is kept in sixteenths of a pixel: finer than the eye sees, coarse enough
// that a pattern standing still is not redrawn.
constexpr int kSubPixels = 16;

QRect BandRect(int band) {
    return QRect(kBandX, kFirstBandY + band * kBandPitch, StrobeGauge::kBandWidth,
                 StrobeGauge::kBandHeight);
}

double Overlap(double a, double b, double c, double d) {
    return std::max(0.0, std::min(b, d) - std::max(a, c));
}

} // namespace

StrobeGauge::StrobeGauge() : m_surface(finetuning::kViewArea.size(), QImage::Format_RGB32) {
    m_surface.fill(surface::kWhite);
    m_cents.fill(InstrumentReading::kAbsent);
}

double StrobeGauge::PhaseAdvance(float cents, double ms) {
    const double rate = std::clamp(static_cast<double>(cents) * kPeriodsPerSecondPerCent,
                                   -kMaxPeriodsPerSecond, kMaxPeriodsPerSecond);
    return rate * ms / 1000.0;
}

QRect StrobeGauge::BandArea(int band) {
    return BandRect(band).translated(finetuning::kViewArea.topLeft());
}

QRect StrobeGauge::Area() const {
    return finetuning::kViewArea;
}

void StrobeGauge::TakeColors(const ColorScheme& colors) {
    m_patternColor = colors.needleColor;
    m_textColor = colors.textColor;
}

void StrobeGauge::TakeReading(const InstrumentReading& reading, double timeMs) {
    // The errors so far move the pattern up to now; the new ones from now on.
    AdvanceTo(timeMs);
    m_cents = reading.bandCents;
    m_bHold = reading.hold;
    m_patternColor = reading.needleColor;
}

void StrobeGauge::AdvanceTo(double timeMs) {
    if (m_bHaveTime && timeMs > m_fTime && !m_bHold) {
        for (int k = 0; k < kBands; ++k) {
            const float cents = m_cents[static_cast<std::size_t>(k)];
            if (std::isfinite(cents))
                m_phase[static_cast<std::size_t>(k)] += PhaseAdvance(cents, timeMs - m_fTime);
        }
    }
    m_fTime = timeMs;
    m_bHaveTime = true;
}

ChangedRects StrobeGauge::Draw(QImage& target, bool full, double timeMs) {
    AdvanceTo(timeMs);
    ChangedRects changed;
    const QPoint at = Area().topLeft();
    if (full) {
        surface::FillRect(m_surface, kInside, surface::kWhite);
        for (int k = 0; k < kBands; ++k)
            DrawFrame(k);
    }
    for (int k = 0; k < kBands; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        const double turns = m_phase[i] - std::floor(m_phase[i]);
        const int offset =
            std::min(static_cast<int>(turns * kPeriod * kSubPixels), kPeriod * kSubPixels - 1);
        const std::uint32_t color = std::isfinite(m_cents[i]) ? m_patternColor : kAbsentColor;
        if (!full && offset == m_drawnOffset[i] && color == m_drawnColor[i])
            continue;
        DrawBand(k, color, offset);
        if (!full) {
            const QRect band = BandRect(k);
            changed.Add(surface::CopyRect(target, at.x() + band.left(), at.y() + band.top(),
                                          m_surface, band));
        }
    }
    if (full) {
        finetuning::DrawPanelEdge(m_surface, kViewTop);
        changed.Add(surface::CopyRect(target, at.x(), at.y(), m_surface, m_surface.rect()));
    }
    return changed;
}

void StrobeGauge::DrawBand(int band, std::uint32_t color, int offset) {
    m_drawnOffset[static_cast<std::size_t>(band)] = offset;
    m_drawnColor[static_cast<std::size_t>(band)] = color;
    // Each column takes the block colour by how much of it the blocks cover, so the pattern
    // moves by fractions of a pixel.
    const QRgb ink = surface::ToRgb(color);
    const double o = static_cast<double>(offset) / kSubPixels;
    std::array<QRgb, kBandWidth> row{};
    for (int x = 0; x < kBandWidth; ++x) {
        double s = std::fmod(x - o, static_cast<double>(kPeriod));
        if (s < 0.0)
            s += kPeriod;
        const double cover =
            Overlap(s, s + 1.0, 0.0, kPeriod / 2.0) + Overlap(s, s + 1.0, kPeriod, kPeriod * 1.5);
        auto mix = [cover](int c) {
            return 255 + static_cast<int>(std::lround(cover * (c - 255)));
        };
        row[static_cast<std::size_t>(x)] = qRgb(mix(qRed(ink)), mix(qGreen(ink)), mix(qBlue(ink)));
    }
    const QRect r = BandRect(band);
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(m_surface.scanLine(y)) + r.left(), row.data(),
                    sizeof row);
}

void StrobeGauge::DrawFrame(int band) {
    const QRect r = BandRect(band);
    const QRect frame = r.adjusted(-1, -1, 1, 1);
    surface::FillRect(m_surface, QRect(frame.left(), frame.top(), frame.width(), 1), kFrameRgb);
    surface::FillRect(m_surface, QRect(frame.left(), frame.bottom(), frame.width(), 1), kFrameRgb);
    surface::FillRect(m_surface, QRect(frame.left(), frame.top(), 1, frame.height()), kFrameRgb);
    surface::FillRect(m_surface, QRect(frame.right(), frame.top(), 1, frame.height()), kFrameRgb);
    // Harmonic k is marked by k dots in the text colour.
    const int dots = band + 1;
    const int top = r.top() + (r.height() - (dots * kDotPitch - (kDotPitch - kDotSize))) / 2;
    for (int d = 0; d < dots; ++d)
        surface::FillRect(m_surface, QRect(kDotX, top + d * kDotPitch, kDotSize, kDotSize),
                          surface::ToRgb(m_textColor));
}
