#pragma once
// The fine-tuning panel: note name with octave, signed percent of a half-step, the printed
// scale and a needle swinging 0.6 degrees per percent about a pivot below the panel.
//
// Thread use: the capture thread calls the setters and Draw(full = false) for every frame,
// the window thread calls Draw(full = true) on paint and after colour changes. One mutex per
// gauge, held only while a setter or Draw runs, keeps the two from interleaving. The target
// image (the window's client area) is the caller's to guard against its own readers.

#include "display/GlyphStrip.h"
#include "display/SkinBitmap.h"
#include "display/Surface.h"

#include <QImage>
#include <QPoint>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

class FineTuningGauge {
public:
    // Panel position and size in the window's client area.
    static constexpr int kWindowLeft = 50;
    static constexpr int kWindowTop = 43;
    static constexpr int kPanelWidth = 240;
    static constexpr int kPanelHeight = 257;
    static constexpr int kInitialTrail = 110;

    static constexpr std::array<int, 10> kNoteEdges = {0, 32, 60, 90, 119, 146, 170, 200, 225, 249};
    static constexpr std::array<int, 14> kDigitEdges = {0,   26,  50,  75,  99,  125, 150,
                                                        175, 200, 225, 250, 286, 299, 321};
    // Glyph numbers in the digits strip beyond 0..9.
    static constexpr int kGlyphPercent = 10;
    static constexpr int kGlyphMinus = 11;
    static constexpr int kGlyphPlus = 12;

    FineTuningGauge();

    // Builds the panel and loads "NotesClr.bmp"/"NotesBev.bmp", "NumClr.bmp"/"NumBev.bmp",
    // "Label.bmp" and "Circle.bmp" from artDir (the current directory when empty), in that
    // order, stopping at the first failure (later skins stay empty). False on a failure, with
    // `why` naming the file and what is wrong with it; the panel is 240 x 257 either way.
    bool Create(const std::string& artDir = {}, std::string* why = nullptr);

    void SetNote(int note);       // 0..11, 0 = C; anything else draws no letters
    void SetPercent(int percent); // signed percent of a half-step, kept in -99..99 by callers
    void SetOctave(int octave);   // clamped to 0..9
    void SetNeedleColor(std::uint32_t color); // 0x00BBGGRR, no redraw
    void SetTextColor(std::uint32_t color);   // 0x00BBGGRR, recomposes both strips, no redraw

    // Composes what changed (everything when full) and copies it into target, the window's
    // client area; returns the window rectangles written.
    ChangedRects Draw(QImage& target, bool full, bool needleChanged);

    // Needle geometry: the point at radius r for a percent, in panel coordinates.
    static QPoint NeedlePoint(int percent, int radius);
    // The trail a non-full redraw leaves for a percent.
    static int TrailFor(int percent);

    // Inspection (tests, diagnostics); each takes the gauge's lock.
    QImage Panel() const;
    int Trail() const;

private:
    void DrawNoteArea(bool full);
    void DrawNumberArea(bool full);
    void DrawNeedleArea(bool full);
    void DrawNoteGlyph(int glyph, int x);
    void DrawDigitGlyph(int glyph, int x);

    mutable std::mutex m_mutex;
    QImage m_panel;
    GlyphStrip m_notes;
    GlyphStrip m_digits;
    SkinBitmap m_label;
    MaskedBitmap m_hub;
    int m_nNote = 0;
    int m_nPercent = 0;
    int m_nOctave = 0;
    int m_nPrevNote = kNoPrevNote;
    int m_nPrevPercent = 0;
    int m_nPrevOctave = -1;
    std::uint32_t m_textColor = 0x000000;
    std::uint32_t m_needleColor = 0xA0A0A0;
    int m_nTrail = kInitialTrail;

    static constexpr int kNoPrevNote = -0x7FFFFFFF - 1;
};
