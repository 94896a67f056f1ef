#pragma once
// What the main window's instruments have in common. Each one owns a rectangle of the client
// area, takes the colour scheme and the readings the window shows, and draws itself into the
// client area: whole, or only what changed since it last drew. The window keeps them in a list
// and draws them once per display refresh whether or not a new reading came, so an instrument
// that moves with time (the strobe) keeps moving between readings.
//
// Window thread only: the capture thread hands readings to the window, never to an instrument.

#include "display/Surface.h"
#include "model/TunerSettings.h"

#include <QImage>
#include <QRect>

#include <array>
#include <cstdint>
#include <limits>

// One reading as the instruments show it.
struct InstrumentReading {
    static constexpr int kBands = 4; // harmonics 1..4 of the strobe
    static constexpr float kAbsent = std::numeric_limits<float>::quiet_NaN();

    int note = 6; // shown note (after the instrument's key), 0 = C
    int octave = 0;
    int percent = 0;    // signed percent of a half-step, -99..99
    float level = 0.0f; // recording energy, 0..1
    bool hold = true;   // the tracker holds its last reading: nothing live to follow
    // Colour of what follows the reading (needle, strobe pattern), faded while holding.
    std::uint32_t needleColor = 0xA0A0A0; // 0x00BBGGRR
    // Harmonic k + 1 of the frame against k + 1 times the shown note's equal-tempered
    // frequency, in cents; kAbsent when the frame has no such harmonic.
    std::array<float, kBands> bandCents{kAbsent, kAbsent, kAbsent, kAbsent};
};

class Instrument {
public:
    virtual ~Instrument() = default;

    // The client-area rectangle the instrument draws in.
    virtual QRect Area() const = 0;
    // The colour scheme; shown from the next Draw.
    virtual void TakeColors(const ColorScheme& colors) = 0;
    // A new reading, current from timeMs (the window's millisecond clock) on; shown from the
    // next Draw.
    virtual void TakeReading(const InstrumentReading& reading, double timeMs) = 0;
    // Brings the picture up to timeMs and draws into target (the client area): everything when
    // full, else what changed since the last Draw. Returns the rectangles written.
    virtual ChangedRects Draw(QImage& target, bool full, double timeMs) = 0;
};
