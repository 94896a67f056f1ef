#include "display/FineTuningGauge.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// Panel layout.
constexpr QRect kInside(2, 2, 236, 253);       // (2, 2)-(238, 255)
constexpr QRect kBelowScale(2, 128, 236, 122); // (2, 128)-(238, 250)
constexpr int kLabelY = 59;
constexpr int kTrailWidth = 30;
constexpr int kHubX = 91;
constexpr int kHubY = 232;
constexpr int kNeedleInner = 30;
constexpr int kNeedleOuter = 182;
constexpr int kNeedleWidth = 5;

// Copies of the panel to the window on a frame redraw: panel rectangle, window position.
constexpr QRect kNoteAreaCopy(18, 20, 80, 28);
constexpr QPoint kNoteAreaAt(68, 63);
constexpr QRect kNumberAreaCopy(119, 20, 100, 28);
constexpr QPoint kNumberAreaAt(169, 63);
constexpr QPoint kNeedleAreaAt(52, 101);

constexpr int kGlyphRow = 20;
constexpr int kGlyphHeight = 27;

// Note index (0 = C) -> notes-strip glyphs, -1 = none. A..G are glyphs 0..6, sharp 7, flat 8.
constexpr int kNoteGlyphs[12][2] = {
    {2, -1}, {2, 7},  {3, -1}, {4, 8},  {4, -1}, {5, -1},
    {5, 7},  {6, -1}, {6, 7},  {0, -1}, {1, 8},  {1, -1},
};

double Theta(int percent) {
    // The constants are the ones the gauge was calibrated with, not pi and pi/180.
    const float degrees = static_cast<float>(percent) * 0.6f;
    return 3.1415 - static_cast<double>(degrees) * 0.0174525;
}

} // namespace

FineTuningGauge::FineTuningGauge() = default;

bool FineTuningGauge::Create(const std::string& artDir, std::string* why) {
    std::lock_guard lock(m_mutex);
    m_panel = QImage(kPanelWidth, kPanelHeight, QImage::Format_RGB32);
    m_panel.fill(surface::kWhite);
    const std::string prefix = artDir.empty() ? std::string() : artDir + "/";
    if (!m_notes.Load(prefix + "NotesClr.bmp", prefix + "NotesBev.bmp", why))
        return false;
    m_notes.SetColor(m_textColor);
    if (!m_digits.Load(prefix + "NumClr.bmp", prefix + "NumBev.bmp", why))
        return false;
    m_digits.SetColor(m_textColor);
    if (!m_label.Load(prefix + "Label.bmp", why))
        return false;
    return m_hub.Load(prefix + "Circle.bmp", 0xFFFFFF, why);
}

void FineTuningGauge::SetNote(int note) {
    std::lock_guard lock(m_mutex);
    m_nPrevNote = m_nNote;
    m_nNote = note;
}

void FineTuningGauge::SetPercent(int percent) {
    std::lock_guard lock(m_mutex);
    m_nPrevPercent = m_nPercent;
    m_nPercent = percent;
}

void FineTuningGauge::SetOctave(int octave) {
    std::lock_guard lock(m_mutex);
    m_nPrevOctave = m_nOctave;
    m_nOctave = std::clamp(octave, 0, 9);
}

void FineTuningGauge::SetNeedleColor(std::uint32_t color) {
    std::lock_guard lock(m_mutex);
    m_needleColor = color;
}

void FineTuningGauge::SetTextColor(std::uint32_t color) {
    std::lock_guard lock(m_mutex);
    m_textColor = color;
    m_notes.SetColor(color);
    m_digits.SetColor(color);
}

QPoint FineTuningGauge::NeedlePoint(int percent, int radius) {
    const double theta = Theta(percent);
    return {120 + static_cast<int>(radius * std::sin(theta)),
            270 + static_cast<int>(radius * std::cos(theta))};
}

int FineTuningGauge::TrailFor(int percent) {
    const int x = static_cast<int>(kNeedleOuter * std::sin(Theta(percent)));
    return x + (percent <= 0 ? 110 : 100);
}

QImage FineTuningGauge::Panel() const {
    std::lock_guard lock(m_mutex);
    return m_panel.copy();
}

int FineTuningGauge::Trail() const {
    std::lock_guard lock(m_mutex);
    return m_nTrail;
}

ChangedRects FineTuningGauge::Draw(QImage& target, bool full, bool needleChanged) {
    std::lock_guard lock(m_mutex);
    ChangedRects changed;
    if (m_panel.isNull()) // not created
        return changed;
    const bool noteChanged = m_nNote != m_nPrevNote || m_nOctave != m_nPrevOctave;
    const bool percentChanged = m_nPercent != m_nPrevPercent;

    if (full)
        surface::FillRect(m_panel, kInside, surface::kWhite);
    if (noteChanged || full)
        DrawNoteArea(full);
    if (percentChanged || full)
        DrawNumberArea(full);
    if (percentChanged || full || needleChanged) {
        DrawNeedleArea(full);
        if (full) {
            surface::DrawSunkenEdge(m_panel, m_panel.rect());
            changed.Add(
                surface::CopyRect(target, kWindowLeft, kWindowTop, m_panel, m_panel.rect()));
            return changed;
        }
    }
    if (noteChanged)
        changed.Add(
            surface::CopyRect(target, kNoteAreaAt.x(), kNoteAreaAt.y(), m_panel, kNoteAreaCopy));
    if (percentChanged || needleChanged) {
        changed.Add(surface::CopyRect(target, kNumberAreaAt.x(), kNumberAreaAt.y(), m_panel,
                                      kNumberAreaCopy));
        const QRect needleArea(2, 58, kPanelWidth - 4, kPanelHeight - 58);
        changed.Add(
            surface::CopyRect(target, kNeedleAreaAt.x(), kNeedleAreaAt.y(), m_panel, needleArea));
    }
    return changed;
}

void FineTuningGauge::DrawNoteGlyph(int glyph, int x) {
    m_notes.DrawGlyph(m_panel, x, kGlyphRow, kNoteEdges[static_cast<std::size_t>(glyph)], 0,
                      kNoteEdges[static_cast<std::size_t>(glyph) + 1], kGlyphHeight);
}

void FineTuningGauge::DrawDigitGlyph(int glyph, int x) {
    m_digits.DrawGlyph(m_panel, x, kGlyphRow, kDigitEdges[static_cast<std::size_t>(glyph)], 0,
                       kDigitEdges[static_cast<std::size_t>(glyph) + 1], kGlyphHeight);
}

void FineTuningGauge::DrawNoteArea(bool /*full*/) {
    // Clears the accidental and octave of the previous note; the letter, at least 24 pixels
    // wide from x 18, covers the rest.
    surface::FillRect(m_panel, QRect(40, kGlyphRow, 60, 27), surface::kWhite);
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

void FineTuningGauge::DrawNumberArea(bool full) {
    // Callers keep the percent within -99..99; clamping here keeps a stray value from
    // indexing past the digit glyphs.
    const int p = std::clamp(m_nPercent, -99, 99);
    const int q = std::clamp(m_nPrevPercent, -99, 99);
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
        surface::FillRect(m_panel, QRect(119, kGlyphRow, 20, 20), surface::kWhite);
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

void FineTuningGauge::DrawNeedleArea(bool full) {
    if (m_nPercent != m_nPrevPercent)
        surface::FillRect(m_panel, kBelowScale, surface::kWhite);
    if (full) {
        m_label.Draw(m_panel, 2, kLabelY);
    } else {
        // Restore the strip of the scale the previous needle crossed.
        m_label.DrawPart(m_panel, m_nTrail, kLabelY, m_nTrail - 2, 0, kTrailWidth,
                         m_label.Height());
        m_nTrail = TrailFor(m_nPercent);
    }
    QPainter painter(&m_panel);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(surface::ToRgb(m_needleColor)), kNeedleWidth, Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(NeedlePoint(m_nPercent, kNeedleInner), NeedlePoint(m_nPercent, kNeedleOuter));
    painter.end();
    m_hub.Draw(m_panel, kHubX, kHubY);
}
