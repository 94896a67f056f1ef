#include "display/FineTuningGauge.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

using finetuning::kViewTop;

// Note display, in panel coordinates (its surface holds panel rows 0 .. kViewTop - 1).
constexpr QRect kNoteInside(2, 2, 236, kViewTop - 2);
constexpr QRect kNoteAreaCopy(18, 20, 80, 28);
constexpr QRect kNumberAreaCopy(119, 20, 100, 28);
constexpr int kGlyphRow = 20;
constexpr int kGlyphHeight = 27;

// Note index (0 = C) -> notes-strip glyphs, -1 = none. A..G are glyphs 0..6, sharp 7, flat 8.
constexpr int kNoteGlyphs[12][2] = {
    {2, -1}, {2, 7},  {3, -1}, {4, 8},  {4, -1}, {5, -1},
    {5, 7},  {6, -1}, {6, 7},  {0, -1}, {1, 8},  {1, -1},
};

// Needle, in the coordinates of its surface (panel rows from kViewTop down).
constexpr QRect kNeedleInside(2, 0, 236, 255 - kViewTop);
constexpr QRect kBelowScale(2, 128 - kViewTop, 236, 122); // panel (2, 128)-(238, 250)
constexpr QRect kNeedleAreaCopy(2, 0, 236, 257 - kViewTop);
constexpr int kLabelY = 59 - kViewTop;
constexpr int kTrailWidth = 30;
constexpr int kHubX = 91;
constexpr int kHubY = 232 - kViewTop;
constexpr int kNeedleInner = 30;
constexpr int kNeedleOuter = 182;
constexpr int kNeedleWidth = 5;

double Theta(int percent) {
    // The constants are the ones the gauge was calibrated with, not pi and pi/180.
    const float degrees = static_cast<float>(percent) * 0.6f;
    return 3.1415 - static_cast<double>(degrees) * 0.0174525;
}

std::string ArtPrefix(const std::string& artDir) {
    return artDir.empty() ? std::string() : artDir + "/";
}

} // namespace

void finetuning::DrawPanelEdge(QImage& part, int partTop) {
    surface::DrawSunkenEdge(part, QRect(0, -partTop, kPanel.width(), kPanel.height()));
}

bool LoadFineTuningArtwork(NoteDisplay& notes, NeedleGauge& needle, const std::string& artDir,
                           std::string* why) {
    return notes.Load(artDir, why) && needle.Load(artDir, why);
}

// --- NoteDisplay -----------------------------------------------------------------------------

NoteDisplay::NoteDisplay() : m_surface(finetuning::kPanel.width(), kViewTop, QImage::Format_RGB32) {
    m_surface.fill(surface::kWhite);
}

bool NoteDisplay::Load(const std::string& artDir, std::string* why) {
    const std::string prefix = ArtPrefix(artDir);
    return m_notes.Load(prefix + "NotesClr.bmp", prefix + "NotesBev.bmp", why) &&
           m_digits.Load(prefix + "NumClr.bmp", prefix + "NumBev.bmp", why);
}

void NoteDisplay::SetNote(int note) {
    m_nNote = note;
}

void NoteDisplay::SetOctave(int octave) {
    m_nOctave = std::clamp(octave, 0, 9);
}

void NoteDisplay::SetPercent(int percent) {
    m_nPercent = percent;
}

void NoteDisplay::SetTextColor(std::uint32_t color) {
    m_notes.SetColor(color);
    m_digits.SetColor(color);
}

QRect NoteDisplay::Area() const {
    return QRect(finetuning::kPanel.topLeft(), m_surface.size());
}

void NoteDisplay::TakeColors(const ColorScheme& colors) {
    SetTextColor(colors.textColor);
}

void NoteDisplay::TakeReading(const InstrumentReading& reading, double /*timeMs*/) {
    SetPercent(reading.percent);
    SetNote(reading.note);
    SetOctave(reading.octave);
}

ChangedRects NoteDisplay::Draw(QImage& target, bool full, double /*timeMs*/) {
    ChangedRects changed;
    const bool noteChanged = m_nNote != m_nDrawnNote || m_nOctave != m_nDrawnOctave;
    const bool percentChanged = m_nPercent != m_nDrawnPercent;
    if (full)
        surface::FillRect(m_surface, kNoteInside, surface::kWhite);
    if (noteChanged || full)
        DrawNoteArea();
    if (percentChanged || full)
        DrawNumberArea(full);
    m_nDrawnNote = m_nNote;
    m_nDrawnOctave = m_nOctave;
    m_nDrawnPercent = m_nPercent;
    const QPoint at = Area().topLeft();
    if (full) {
        finetuning::DrawPanelEdge(m_surface, 0);
        changed.Add(surface::CopyRect(target, at.x(), at.y(), m_surface, m_surface.rect()));
        return changed;
    }
    for (const QRect& area :
         {noteChanged ? kNoteAreaCopy : QRect(), percentChanged ? kNumberAreaCopy : QRect()})
        if (!area.isEmpty())
            changed.Add(surface::CopyRect(target, at.x() + area.left(), at.y() + area.top(),
                                          m_surface, area));
    return changed;
}

void NoteDisplay::DrawNoteGlyph(int glyph, int x) {
    m_notes.DrawGlyph(m_surface, x, kGlyphRow, kNoteEdges[static_cast<std::size_t>(glyph)], 0,
                      kNoteEdges[static_cast<std::size_t>(glyph) + 1], kGlyphHeight);
}

void NoteDisplay::DrawDigitGlyph(int glyph, int x) {
    m_digits.DrawGlyph(m_surface, x, kGlyphRow, kDigitEdges[static_cast<std::size_t>(glyph)], 0,
                       kDigitEdges[static_cast<std::size_t>(glyph) + 1], kGlyphHeight);
}

void NoteDisplay::DrawNoteArea() {
    // Clears the accidental and octave of the previous note; the letter, at least 24 pixels
    // wide from x 18, covers the rest.
    surface::FillRect(m_surface, QRect(40, kGlyphRow, 60, 27), surface::kWhite);
    int x = 18;
    if (m_nNote >= 0 && m_nNote < 12) {
        for (int glyph : kNoteGlyphs[m_nNote]) {
            if (glyph < 0)
                break;
            DrawNoteGlyph(glyph, x);
            x += kNoteEdges[static_cast<std::size_t>(glyph) + 1] -
                 kNoteEdges[static_cast<std::size_t>(glyph)];
        }
    }
    DrawDigitGlyph(std::clamp(m_nOctave, 0, 9), x);
}

void NoteDisplay::DrawNumberArea(bool full) {
    // Callers keep the percent within -99..99; clamping here keeps a stray value from
    // indexing past the digit glyphs.
    const int p = std::clamp(m_nPercent, -99, 99);
    const int q = std::clamp(m_nDrawnPercent, -99, 99);
    // Sign: the plus glyph is wider than the minus and covers it; the minus needs a clear
    // background first.
    if (p == 0) {
        DrawDigitGlyph(kGlyphPlus, 119);
        DrawDigitGlyph(0, 143);
        DrawDigitGlyph(0, 168);
    } else if (p > 0) {
        if (q < 0 || full)
            DrawDigitGlyph(kGlyphPlus, 119);
    } else if (q >= 0 || full) {
        surface::FillRect(m_surface, QRect(119, kGlyphRow, 20, 20), surface::kWhite);
        DrawDigitGlyph(kGlyphMinus, 125);
    }
    // Two digits; the tens digit only when it changed.
    const int a = std::abs(p);
    if (a < 10) {
        if (std::abs(q) >= 10 || full)
            DrawDigitGlyph(0, 143);
        DrawDigitGlyph(a, 168);
    } else {
        if (a / 10 != q / 10 || full)
            DrawDigitGlyph(a / 10, 143);
        DrawDigitGlyph(a % 10, 168);
    }
    if (full)
        DrawDigitGlyph(kGlyphPercent, 195);
}

// --- NeedleGauge -----------------------------------------------------------------------------

NeedleGauge::NeedleGauge() : m_surface(finetuning::kViewArea.size(), QImage::Format_RGB32) {
    m_surface.fill(surface::kWhite);
}

bool NeedleGauge::Load(const std::string& artDir, std::string* why) {
    const std::string prefix = ArtPrefix(artDir);
    return m_label.Load(prefix + "Label.bmp", why) &&
           m_hub.Load(prefix + "Circle.bmp", 0xFFFFFF, why);
}

void NeedleGauge::SetPercent(int percent) {
    m_nPercent = percent;
}

void NeedleGauge::SetNeedleColor(std::uint32_t color) {
    m_needleColor = color;
}

QRect NeedleGauge::Area() const {
    return finetuning::kViewArea;
}

void NeedleGauge::TakeColors(const ColorScheme& colors) {
    SetNeedleColor(colors.needleColor);
}

void NeedleGauge::TakeReading(const InstrumentReading& reading, double /*timeMs*/) {
    SetPercent(reading.percent);
    // A reading redraws the needle when its colour differs from the previous reading's; a
    // colour scheme shown in between stays until then.
    if (!m_bHaveReadingColor || reading.needleColor != m_readingColor) {
        SetNeedleColor(reading.needleColor);
        m_readingColor = reading.needleColor;
        m_bHaveReadingColor = true;
        m_bNeedleChanged = true;
    }
}

QPoint NeedleGauge::NeedlePoint(int percent, int radius) {
    const double theta = Theta(percent);
    return {120 + static_cast<int>(radius * std::sin(theta)),
            270 + static_cast<int>(radius * std::cos(theta))};
}

int NeedleGauge::TrailFor(int percent) {
    const int x = static_cast<int>(kNeedleOuter * std::sin(Theta(percent)));
    return x + (percent <= 0 ? 110 : 100);
}

ChangedRects NeedleGauge::Draw(QImage& target, bool full, double /*timeMs*/) {
    ChangedRects changed;
    const bool percentChanged = m_nPercent != m_nDrawnPercent;
    const bool redraw = percentChanged || full || m_bNeedleChanged;
    m_nDrawnPercent = m_nPercent;
    m_bNeedleChanged = false;
    if (!redraw)
        return changed;
    if (percentChanged)
        surface::FillRect(m_surface, kBelowScale, surface::kWhite);
    if (full) {
        surface::FillRect(m_surface, kNeedleInside, surface::kWhite);
        m_label.Draw(m_surface, 2, kLabelY);
    } else {
        // Restore the strip of the scale the previous needle crossed.
        m_label.DrawPart(m_surface, m_nTrail, kLabelY, m_nTrail - 2, 0, kTrailWidth,
                         m_label.Height());
    }
    // A full redraw moves the trail too: the needle it drew is the one to clear next.
    m_nTrail = TrailFor(m_nPercent);
    const QPoint up(0, -kViewTop);
    QPainter painter(&m_surface);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(surface::ToRgb(m_needleColor)), kNeedleWidth, Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(NeedlePoint(m_nPercent, kNeedleInner) + up,
                     NeedlePoint(m_nPercent, kNeedleOuter) + up);
    painter.end();
    m_hub.Draw(m_surface, kHubX, kHubY);
    const QPoint at = Area().topLeft();
    if (full) {
        finetuning::DrawPanelEdge(m_surface, kViewTop);
        changed.Add(surface::CopyRect(target, at.x(), at.y(), m_surface, m_surface.rect()));
    } else {
        changed.Add(surface::CopyRect(target, at.x() + kNeedleAreaCopy.left(), at.y(), m_surface,
                                      kNeedleAreaCopy));
    }
    return changed;
}
