#pragma once
// The recording energy bar: rises from the bottom inside a sunken frame, its pixels cut from
// a fixed vertical ramp running from the low-energy colour (bottom) towards the high-energy
// colour (top). No peak hold, no decay.

#include "display/Instrument.h"
#include "display/Surface.h"

#include <QImage>

#include <cstdint>

class EnergyGauge : public Instrument {
public:
    // Creates the ramp and display surfaces (white) for the window rectangle
    // (left, top)-(right, bottom). True unless the rectangle is empty.
    bool Create(int left, int top, int right, int bottom);

    // Stores both colours (0x00BBGGRR) and repaints the ramp; no redraw.
    void SetColors(std::uint32_t highColor, std::uint32_t lowColor);

    // level 0..1 (outside, or NaN, clamps) -> bar height 0 .. gauge height - 4; no redraw.
    void SetLevel(float level);

    // Full: composes frame and bar on the display surface and copies it to target at
    // (left, top). Frame: touches only the rows between the previous and the new bar top,
    // straight on target. Returns the window rectangles written.
    ChangedRects Draw(QImage& target, bool full, double timeMs = 0.0) override;

    // Instrument: the rectangle given to Create; the energy colours; the reading's level.
    QRect Area() const override;
    void TakeColors(const ColorScheme& colors) override;
    void TakeReading(const InstrumentReading& reading, double timeMs) override;

private:
    void PaintRamp();

    QImage m_ramp;
    QImage m_display;
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nRight = 0;
    int m_nBottom = 0;
    std::uint32_t m_highColor = 0;
    std::uint32_t m_lowColor = 0;
    int m_nLevel = 0;
    int m_nPrevLevel = 0;
};
