// Fine-tuning panel: needle geometry and trail, hub, note and number areas, incremental
// redraw rules of the note display and the needle.

#include "TestUtil.h"

#include "display/FineTuningGauge.h"
#include "display/GlyphStrip.h"
#include "display/SkinBitmap.h"

#include <gtest/gtest.h>

using testutil::AllColour;
using testutil::Rgb;
using testutil::Solid;

namespace {

constexpr std::uint32_t kBlueText = 0xFF0000; // 0x00BBGGRR
constexpr std::uint32_t kGreenText = 0x00C000;
constexpr std::uint32_t kNeedle = 0x0000C0; // (192, 0, 0)
constexpr QRgb kNeedleRgb = 0xFFC00000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kFace = 0xFFF0F0F0;

class FineTuningGaugeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadFineTuningArtwork(notes, needle, testutil::ArtDir()));
        notes.SetTextColor(kBlueText);
        ASSERT_TRUE(blueNotes.Load(Art("NotesClr.bmp"), Art("NotesBev.bmp")));
        for (auto* strip : {&blueDigits, &greenDigits})
            ASSERT_TRUE(strip->Load(Art("NumClr.bmp"), Art("NumBev.bmp")));
        blueNotes.SetColor(kBlueText);
        blueDigits.SetColor(kBlueText);
        greenDigits.SetColor(kGreenText);
        ASSERT_TRUE(label.Load(Art("Label.bmp")));
        reading.note = 0;
        reading.needleColor = kNeedle;
    }

    static std::string Art(const char* name) { return testutil::ArtDir() + "/" + name; }

    // Gives both instruments a reading and draws them, fully or incrementally; returns the
    // rectangles they wrote.
    std::vector<QRect> Show(bool full = false) {
        notes.TakeReading(reading, 0.0);
        needle.TakeReading(reading, 0.0);
        std::vector<QRect> rects;
        for (Instrument* i : {static_cast<Instrument*>(&notes), static_cast<Instrument*>(&needle)})
            for (const QRect& r : i->Draw(client, full, 0.0))
                rects.push_back(r);
        return rects;
    }
    std::vector<QRect> Frame(int percent, int note = 9, int octave = 4) {
        reading.percent = percent;
        reading.note = note;
        reading.octave = octave;
        return Show();
    }
    QImage Panel() const { return client.copy(finetuning::kPanel); }

    // True when the panel shows glyph k of a strip (edges given) at (x, 20).
    template <std::size_t N>
    static bool ShowsGlyph(const QImage& panel, const GlyphStrip& strip,
                           const std::array<int, N>& edges, int glyph, int x) {
        const int left = edges[static_cast<std::size_t>(glyph)];
        const int width = edges[static_cast<std::size_t>(glyph) + 1] - left;
        return panel.copy(x, 20, width, 27) == strip.Result().copy(left, 0, width, 27);
    }
    bool Digit(const QImage& panel, const GlyphStrip& strip, int glyph, int x) const {
        return ShowsGlyph(panel, strip, NoteDisplay::kDigitEdges, glyph, x);
    }
    bool Note(const QImage& panel, const GlyphStrip& strip, int glyph, int x) const {
        return ShowsGlyph(panel, strip, NoteDisplay::kNoteEdges, glyph, x);
    }
    QRgb LabelAt(QPoint panelPoint) const {
        return label.Image().pixel(panelPoint.x() - 2, panelPoint.y() - 59);
    }

    NoteDisplay notes;
    NeedleGauge needle;
    InstrumentReading reading;
    GlyphStrip blueNotes, blueDigits, greenDigits;
    SkinBitmap label;
    QImage client = Solid(300, 380, 240, 240, 240);
};

} // namespace

TEST_F(FineTuningGaugeTest, NeedleEndPointsAndTrailRestoresTheScale) {
    Show(true);
    const QPoint tipPlus50 = NeedleGauge::NeedlePoint(50, 182);
    int previous = 0;
    for (const int percent : {50, -50, 1}) {
        SCOPED_TRACE(percent);
        Frame(percent);
        const QImage panel = Panel();
        const QPoint tip = NeedleGauge::NeedlePoint(percent, 182);
        EXPECT_EQ(Rgb(panel.pixel(tip)), Rgb(kNeedleRgb));
        EXPECT_EQ(Rgb(panel.pixel(NeedleGauge::NeedlePoint(percent, 120))), Rgb(kNeedleRgb));
        // Just past the tip the scale shows, not the needle.
        const QPoint past = NeedleGauge::NeedlePoint(percent, 187);
        EXPECT_EQ(Rgb(panel.pixel(past)), Rgb(LabelAt(past)));
        // The previous needle is gone: its tip shows the scale again, its middle is white.
        if (std::abs(previous - percent) > 5) {
            const QPoint old = NeedleGauge::NeedlePoint(previous, 182);
            EXPECT_EQ(Rgb(panel.pixel(old)), Rgb(LabelAt(old)));
            EXPECT_EQ(Rgb(panel.pixel(NeedleGauge::NeedlePoint(previous, 120))), Rgb(kWhite));
        }
        previous = percent;
    }
    // The +50 tip lay in the strip restored when the needle left it.
    EXPECT_NE(Rgb(Panel().pixel(tipPlus50)), Rgb(kNeedleRgb));
    // A full redraw of a new percent moves the trail with it, so the next frame clears it.
    reading.percent = 40;
    Show(true);
    Frame(-40);
    const QPoint old = NeedleGauge::NeedlePoint(40, 182);
    EXPECT_EQ(Rgb(Panel().pixel(old)), Rgb(LabelAt(old)));
}

// Placements the golden images do not show: octaves clamped to one digit, a narrower note
// clearing a wider one's leftovers, and no note at all.
TEST_F(FineTuningGaugeTest, GlyphPlacementAndOctaveClamping) {
    Show(true);
    Frame(0, 10, 12); // Bb, octave 12 shows 9
    QImage panel = Panel();
    EXPECT_TRUE(Note(panel, blueNotes, 1, 18));
    EXPECT_TRUE(Note(panel, blueNotes, 8, 46));
    EXPECT_TRUE(Digit(panel, blueDigits, 9, 70));
    Frame(0, 8, -3); // G#, octave -3 shows 0; the wider Bb's leftovers are cleared
    panel = Panel();
    EXPECT_TRUE(Note(panel, blueNotes, 6, 18));
    EXPECT_TRUE(Note(panel, blueNotes, 7, 48));
    EXPECT_TRUE(Digit(panel, blueDigits, 0, 73));
    EXPECT_TRUE(AllColour(panel, QRect(99, 20, 1, 27), kWhite));
    Frame(0, 12, 5); // no such note: no letters, the octave at x 18
    panel = Panel();
    EXPECT_TRUE(Digit(panel, blueDigits, 5, 18));
    EXPECT_TRUE(AllColour(panel, QRect(44, 20, 56, 27), kWhite));
}

// Recolouring the strips without a redraw marks which glyphs a frame redraws: those come
// out green, those left in place stay blue.
TEST_F(FineTuningGaugeTest, NumberAreaTransitions) {
    struct Step {
        int from, to;
        bool signRedrawn, tensRedrawn;
    };
    const Step steps[] = {
        {7, -3, true, false}, {-3, 4, true, false}, {15, 8, false, true},
        {8, 15, false, true}, {-12, 0, true, true}, {23, 27, false, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.from << " to " << s.to);
        notes.SetTextColor(kBlueText);
        reading.percent = s.from;
        Show(true);
        notes.SetTextColor(kGreenText);
        Frame(s.to, 0, 0);
        const QImage panel = Panel();
        const int a = std::abs(s.to);
        const GlyphStrip& sign = s.signRedrawn ? greenDigits : blueDigits;
        const GlyphStrip& tens = s.tensRedrawn ? greenDigits : blueDigits;
        if (s.to < 0) {
            EXPECT_TRUE(AllColour(panel, QRect(119, 20, 6, 20), kWhite));
            EXPECT_TRUE(Digit(panel, sign, NoteDisplay::kGlyphMinus, 125));
        } else {
            EXPECT_TRUE(Digit(panel, sign, NoteDisplay::kGlyphPlus, 119));
        }
        EXPECT_TRUE(Digit(panel, tens, a / 10, 143));
        EXPECT_TRUE(Digit(panel, greenDigits, a % 10, 168));
        EXPECT_TRUE(Digit(panel, blueDigits, NoteDisplay::kGlyphPercent, 195));
    }
}

TEST_F(FineTuningGaugeTest, FrameCopiesOnlyChangedAreas) {
    const QRect number(169, 63, 100, 28), noteArea(68, 63, 80, 28), needleArea(52, 101, 236, 199);
    reading.note = 9;
    reading.octave = 4;
    Show(true);
    // Same note and octave as before: number and needle only.
    EXPECT_EQ(Frame(12), (std::vector<QRect>{number, needleArea}));
    QImage fresh = Solid(300, 380, 240, 240, 240);
    notes.Draw(fresh, true);
    needle.Draw(fresh, true);
    EXPECT_EQ(client, fresh);

    // Nothing new: nothing is copied and the window is untouched.
    const QImage before = client.copy();
    EXPECT_TRUE(Frame(12).empty());
    EXPECT_EQ(client, before);
    // Only the note changed: only the note area.
    EXPECT_EQ(Frame(12, 2, 4), std::vector<QRect>{noteArea});
    // Only the reading's needle colour changed: the needle, over itself.
    reading.needleColor = 0x00A000;
    EXPECT_EQ(Show(), std::vector<QRect>{needleArea});
    EXPECT_EQ(Rgb(Panel().pixel(NeedleGauge::NeedlePoint(12, 120))), Rgb(qRgb(0, 160, 0)));
}
