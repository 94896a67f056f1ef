#pragma once
// The fine-tuning gauge: the large panel in the middle of the window, 240 x 257 pixels inside a
// sunken edge. Two instruments share it: the note display along its top (note name with octave,
// signed percent of a half-step, drawn from glyph strips) and below it the fine view, either the
// needle on its printed scale (NeedleGauge, here) or the strobe (StrobeGauge). Each keeps its
// own part of the panel in a surface of its own and draws its part of the panel's edge.

#include "display/GlyphStrip.h"
#include "display/Instrument.h"
#include "display/SkinBitmap.h"
#include "display/Surface.h"

#include <QImage>
#include <QPoint>

#include <array>
#include <cstdint>
#include <string>

namespace finetuning {

// The panel in the client area, and the panel row where the fine view's part begins.
inline constexpr QRect kPanel(50, 43, 240, 257);
inline constexpr int kViewTop = 58;
// The fine view's part: the needle's or the strobe's.
inline constexpr QRect kViewArea(kPanel.left(), kPanel.top() + kViewTop, kPanel.width(),
                                 kPanel.height() - kViewTop);

// Draws the part of the panel's sunken edge that falls on `part`, a surface holding the panel's
// rows from partTop down.
void DrawPanelEdge(QImage& part, int partTop);

} // namespace finetuning

// Note, octave and percent along the top of the panel (its rows 0..57).
class NoteDisplay : public Instrument {
public:
    static constexpr std::array<int, 10> kNoteEdges = {0, 32, 60, 90, 119, 146, 170, 200, 225, 249};
    static constexpr std::array<int, 14> kDigitEdges = {0,   26,  50,  75,  99,  125, 150,
                                                        175, 200, 225, 250, 286, 299, 321};
    // Glyph numbers in the digits strip beyond 0..9.
    static constexpr int kGlyphPercent = 10;
    static constexpr int kGlyphMinus = 11;
    static constexpr int kGlyphPlus = 12;

    NoteDisplay();

    // Loads "NotesClr.bmp"/"NotesBev.bmp", then "NumClr.bmp"/"NumBev.bmp", from artDir (the
    // current directory when empty), stopping at the first failure (the strip stays empty and
    // draws nothing). False, with `why` naming the file and its fault, on a failure.
    bool Load(const std::string& artDir = {}, std::string* why = nullptr);

    void SetNote(int note);                 // 0..11, 0 = C; anything else draws no letters
    void SetOctave(int octave);             // clamped to 0..9
    void SetPercent(int percent);           // kept in -99..99 by callers
    void SetTextColor(std::uint32_t color); // 0x00BBGGRR, recomposes both strips

    // Instrument
    QRect Area() const override;
    void TakeColors(const ColorScheme& colors) override;
    void TakeReading(const InstrumentReading& reading, double timeMs) override;
    ChangedRects Draw(QImage& target, bool full, double timeMs = 0.0) override;

private:
    void DrawNoteArea();
    void DrawNumberArea(bool full);
    void DrawNoteGlyph(int glyph, int x);
    void DrawDigitGlyph(int glyph, int x);

    static constexpr int kNone = -0x7FFFFFFF - 1;

    QImage m_surface;
    GlyphStrip m_notes;
    GlyphStrip m_digits;
    int m_nNote = 0;
    int m_nOctave = 0;
    int m_nPercent = 0;
    // What the surface shows (before the first Draw: no note, octave -1, percent 0).
    int m_nDrawnNote = kNone;
    int m_nDrawnOctave = -1;
    int m_nDrawnPercent = 0;
};

// The printed scale ("Label.bmp") with a needle swinging 0.6 degrees per percent about a pivot
// below the panel, and the hub ("Circle.bmp") over its inner end (the panel's rows 58..256).
class NeedleGauge : public Instrument {
public:
    static constexpr int kInitialTrail = 110;

    NeedleGauge();

    // Loads "Label.bmp", then "Circle.bmp", from artDir, stopping at the first failure. False,
    // with `why`, on a failure; what did not load is left out of the drawing.
    bool Load(const std::string& artDir = {}, std::string* why = nullptr);

    void SetPercent(int percent);
    // The needle's colour (0x00BBGGRR), drawn at the next full redraw, or at the next frame
    // redraw when a reading brings a colour other than the last reading's.
    void SetNeedleColor(std::uint32_t color);

    // Instrument
    QRect Area() const override;
    void TakeColors(const ColorScheme& colors) override;
    void TakeReading(const InstrumentReading& reading, double timeMs) override;
    ChangedRects Draw(QImage& target, bool full, double timeMs = 0.0) override;

    // Needle geometry: the point at radius r for a percent, in panel coordinates.
    static QPoint NeedlePoint(int percent, int radius);
    // Where the scale is restored before the needle of the next percent is drawn.
    static int TrailFor(int percent);

private:
    QImage m_surface;
    SkinBitmap m_label;
    MaskedBitmap m_hub;
    int m_nPercent = 0;
    int m_nDrawnPercent = 0;
    std::uint32_t m_needleColor = 0xA0A0A0;
    bool m_bNeedleChanged = false;
    bool m_bHaveReadingColor = false;
    std::uint32_t m_readingColor = 0;
    int m_nTrail = kInitialTrail;
};

// Loads the panel's artwork in its order (notes, digits, scale, hub), stopping at the first
// failure so that everything after it stays empty. False, with `why`, on a failure.
bool LoadFineTuningArtwork(NoteDisplay& notes, NeedleGauge& needle, const std::string& artDir = {},
                           std::string* why = nullptr);
