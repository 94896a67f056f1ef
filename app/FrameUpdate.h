#pragma once
// The arithmetic of the frame update, apart from the window so that it can be checked alone.

#include "analysis/FramePipeline.h"
#include "analysis/PitchResult.h"

#include <QString>

#include <array>
#include <cstdint>

// The percent shown and given to the needle. The tracker's cents carry +0.5 so that taking the
// floor rounds the true reading to the nearest whole percent on both sides of zero (truncating
// toward zero would read 1.4 flat as +00 but 0.5 sharp as +01). Kept within -99..99.
int PercentFromCents(float cents);

// The needle colour `elapsedMs` after the tracker entered its hold: `color` until `delayMs`,
// then each channel moving linearly toward 160 to reach it `durationMs` later:
// c + trunc((160 - c) x f), f = (elapsed - delay) / duration, at most 1. 0x00BBGGRR.
uint32_t FadeNeedleColor(uint32_t color, double elapsedMs, double delayMs, double durationMs);

// The strobe's four errors for a reading, in cents: band 1 the reading's frequency, bands 2..4
// the frame's harmonics 2..4 (Hz, 0 = absent), each against k times the equal-tempered
// frequency of the reading's note at concert A. NaN where there is nothing to compare. The
// instrument's key names the note differently but moves it by whole half-steps, so the errors
// are those of the shown note, as the percent is.
std::array<float, 4> BandCents(const PitchResult& reading,
                               const std::array<float, kHarmonicsFound>& harmonics, float concertA);

// The title with the frame rate: base, " (", fps formatted "%.0f", " fps)".
QString FpsTitle(const QString& base, double fps);

// Font sizes in tenths of a point from the pixel height h of the 8-point face: the main font
// trunc(144.0 / h x 7.0), the preset font trunc(main x 1.5).
int MainFontSize(int pixelHeight);
int PresetFontSize(int mainSize);
