#pragma once
// The strobe: in the fine view's place below the note display, four horizontal bands, one per
// harmonic of the shown note (1 at the top, 4 at the bottom, marked by as many dots at their
// left). Each band shows blocks of the needle colour on white that move with the error of its
// harmonic integrated over time, as the pattern of a strobe tuner does: still when in tune,
// drifting right when sharp and left when flat, one pattern period a second for each cent. So
// the error in cents is the number of blocks that pass a point in a second, the same on every
// note, and a tenth of a cent moves the pattern 2.4 pixels a second.
//
// Faster than 15 periods a second (a quarter period per refresh of a 60 Hz screen) a pattern
// would seem to stand or run backwards between refreshes, so errors beyond 15 cents move it at
// that speed; the percent figure above says how far off such a note is.
//
// While the tracker holds, every band stands still (and fades with the needle colour); a band
// whose harmonic the frame does not have stands still in grey.

#include "display/Instrument.h"
#include "display/Surface.h"

#include <QImage>
#include <QRect>

#include <array>
#include <cstdint>

class StrobeGauge : public Instrument {
public:
    static constexpr int kBands = InstrumentReading::kBands;
    static constexpr int kPeriod = 24;     // pixels of one block and one gap
    static constexpr int kBandWidth = 216; // nine periods
    static constexpr int kBandHeight = 40;
    static constexpr double kPeriodsPerSecondPerCent = 1.0;
    static constexpr double kMaxPeriodsPerSecond = 15.0;
    static constexpr std::uint32_t kAbsentColor = 0xA0A0A0; // 0x00BBGGRR

    StrobeGauge();

    // Where band `band` (0..3, harmonic band + 1) draws its pattern in the client area; its
    // pattern starts with a block at the left edge at phase 0.
    static QRect BandArea(int band);
    // How far band `band`'s pattern has moved since the start, in periods.
    double Phase(int band) const { return m_phase[static_cast<std::size_t>(band)]; }

    // Instrument
    QRect Area() const override;
    void TakeColors(const ColorScheme& colors) override;
    void TakeReading(const InstrumentReading& reading, double timeMs) override;
    ChangedRects Draw(QImage& target, bool full, double timeMs) override;

private:
    // The pattern's movement, in periods (positive is to the right), for an error of `cents`
    // lasting `ms` milliseconds.
    static double PhaseAdvance(float cents, double ms);
    void AdvanceTo(double timeMs);
    void DrawBand(int band, std::uint32_t color, int offset);
    void DrawFrame(int band);

    QImage m_surface;
    std::array<double, kBands> m_phase{};
    std::array<float, kBands> m_cents{};
    bool m_bHold = true;
    bool m_bHaveTime = false;
    double m_fTime = 0.0; // ms, how far the phases have been taken
    std::uint32_t m_patternColor = kAbsentColor;
    std::uint32_t m_textColor = 0;
    // What each band shows: its offset in sixteenths of a pixel (-1: nothing yet) and colour.
    std::array<int, kBands> m_drawnOffset{-1, -1, -1, -1};
    std::array<std::uint32_t, kBands> m_drawnColor{};
};
