#pragma once
// The recording energy bar: rises from the bottom inside a sunken frame, its pixels cut from
// a fixed vertical ramp running from the low-energy colour (bottom) towards the high-energy
// colour (top). No peak hold, no decay.
//
// Thread use as for FineTuningGauge: frame redraws on the capture thread, full redraws on the
// window thread, one mutex per gauge held only while a setter or Draw runs. The target image
// is the caller's to guard against its own readers.

#include "display/Surface.h"

#include <QImage>

#include <cstdint>
#include <mutex>

class EnergyGauge {
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
    ChangedRects Draw(QImage& target, bool full);

    // Inspection (tests); each takes the gauge's lock.
    QImage Ramp() const;
    int Level() const;

private:
    void PaintRamp();

    mutable std::mutex m_mutex;
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
