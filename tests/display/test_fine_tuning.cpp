// Fine-tuning gauge: needle geometry and trail, hub, note and number areas, incremental
// redraw rules.

#include "TestUtil.h"

#include "display/FineTuningGauge.h"
#include "display/GlyphStrip.h"
#include "display/SkinBitmap.h"

#include <gtest/gtest.h>

#include <thread>

using testutil::AllColour;
using testutil::Rgb;
using testutil::SameBlock;
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
        ASSERT_TRUE(gauge.Create(testutil::ArtDir()));
        gauge.SetNeedleColor(kNeedle);
        gauge.SetTextColor(kBlueText);
        for (auto* strip : {&blueNotes, &greenNotes})
            ASSERT_TRUE(strip->Load(Art("NotesClr.bmp"), Art("NotesBev.bmp")));
        for (auto* strip : {&blueDigits, &greenDigits})
            ASSERT_TRUE(strip->Load(Art("NumClr.bmp"), Art("NumBev.bmp")));
        blueNotes.SetColor(kBlueText);
        blueDigits.SetColor(kBlueText);
        greenNotes.SetColor(kGreenText);
        greenDigits.SetColor(kGreenText);
        ASSERT_TRUE(label.Load(Art("Label.bmp")));
    }

    static std::string Art(const char* name) { return testutil::ArtDir() + "/" + name; }

    // Sets a frame's values the way the window does, then draws it incrementally.
    ChangedRects Frame(int percent, int note = 9, int octave = 4, bool needleChanged = false) {
        gauge.SetPercent(percent);
        gauge.SetNote(note);
        gauge.SetOctave(octave);
        return gauge.Draw(client, false, needleChanged);
    }

    // True when the panel shows glyph k of a strip (edges given) at (x, 20).
    template <std::size_t N>
    static bool ShowsGlyph(const QImage& panel, const GlyphStrip& strip,
                           const std::array<int, N>& edges, int glyph, int x) {
        const int left = edges[static_cast<std::size_t>(glyph)];
        const int width = edges[static_cast<std::size_t>(glyph) + 1] - left;
        return SameBlock(panel, x, 20, strip.Result(), left, 0, width, 27);
    }
    bool Digit(const QImage& panel, const GlyphStrip& strip, int glyph, int x) const {
        return ShowsGlyph(panel, strip, FineTuningGauge::kDigitEdges, glyph, x);
    }
    bool Note(const QImage& panel, const GlyphStrip& strip, int glyph, int x) const {
        return ShowsGlyph(panel, strip, FineTuningGauge::kNoteEdges, glyph, x);
    }

    FineTuningGauge gauge;
    GlyphStrip blueNotes, blueDigits, greenNotes, greenDigits;
    SkinBitmap label;
    QImage client = Solid(300, 380, 240, 240, 240);
};

} // namespace

TEST(NeedleGeometry, EndPointsAndTrails) {
    struct Case {
        int percent;
        QPoint inner, outer;
        int trail;
    };
    const Case cases[] = {
        {-50, {106, 245}, {30, 113}, 20},
        {0, {120, 241}, {120, 89}, 110},
        {1, {120, 241}, {121, 89}, 101},
        {50, {135, 245}, {211, 113}, 191},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        EXPECT_EQ(FineTuningGauge::NeedlePoint(c.percent, 30), c.inner);
        EXPECT_EQ(FineTuningGauge::NeedlePoint(c.percent, 182), c.outer);
        EXPECT_EQ(FineTuningGauge::TrailFor(c.percent), c.trail);
    }
}

TEST_F(FineTuningGaugeTest, FullRedrawCopiesTheWholePanelWithItsSunkenEdge) {
    const ChangedRects rects = gauge.Draw(client, true, false);
    ASSERT_EQ(rects.Count(), 1);
    EXPECT_EQ(rects[0], QRect(50, 43, 240, 257));
    const QImage panel = gauge.Panel();
    EXPECT_TRUE(SameBlock(client, 50, 43, panel, 0, 0, 240, 257));
    EXPECT_EQ(Rgb(client.pixel(49, 43)), Rgb(kFace));
    EXPECT_EQ(Rgb(panel.pixel(0, 0)), Rgb(qRgb(128, 128, 128)));
    EXPECT_EQ(Rgb(panel.pixel(1, 1)), Rgb(qRgb(64, 64, 64)));
    EXPECT_EQ(Rgb(panel.pixel(239, 256)), Rgb(kWhite));
    EXPECT_EQ(Rgb(panel.pixel(238, 255)), Rgb(qRgb(227, 227, 227)));
    // The scale lies at (2, 59); the initial state reads C0 +00%.
    EXPECT_TRUE(SameBlock(panel, 2, 59, label.Image(), 0, 0, 60, 20));
    EXPECT_TRUE(Note(panel, blueNotes, 2, 18));
    EXPECT_TRUE(Digit(panel, blueDigits, 0, 48));
    EXPECT_TRUE(Digit(panel, blueDigits, FineTuningGauge::kGlyphPlus, 119));
    EXPECT_TRUE(Digit(panel, blueDigits, 0, 143));
    EXPECT_TRUE(Digit(panel, blueDigits, 0, 168));
    EXPECT_TRUE(Digit(panel, blueDigits, FineTuningGauge::kGlyphPercent, 195));
}

TEST_F(FineTuningGaugeTest, NeedleEndPointsAndTrailRestoresTheScale) {
    gauge.Draw(client, true, false);
    EXPECT_EQ(gauge.Trail(), 110);
    const QPoint tipPlus50 = FineTuningGauge::NeedlePoint(50, 182);
    const int expected[][2] = {{50, 191}, {-50, 20}, {0, 110}, {1, 101}};
    int previous = 0;
    for (const auto& [percent, trail] : expected) {
        SCOPED_TRACE(percent);
        Frame(percent);
        EXPECT_EQ(gauge.Trail(), trail);
        const QImage panel = gauge.Panel();
        const QPoint tip = FineTuningGauge::NeedlePoint(percent, 182);
        EXPECT_EQ(Rgb(panel.pixel(tip)), Rgb(kNeedleRgb));
        EXPECT_EQ(Rgb(panel.pixel(FineTuningGauge::NeedlePoint(percent, 120))), Rgb(kNeedleRgb));
        // Just past the tip the scale shows, not the needle.
        const QPoint past = FineTuningGauge::NeedlePoint(percent, 187);
        EXPECT_EQ(Rgb(panel.pixel(past)), Rgb(label.Image().pixel(past.x() - 2, past.y() - 59)));
        // The previous needle is gone: its tip shows the scale again, its middle is white.
        if (previous != percent && std::abs(previous - percent) > 5) {
            const QPoint old = FineTuningGauge::NeedlePoint(previous, 182);
            EXPECT_EQ(Rgb(panel.pixel(old)), Rgb(label.Image().pixel(old.x() - 2, old.y() - 59)));
            EXPECT_EQ(Rgb(panel.pixel(FineTuningGauge::NeedlePoint(previous, 120))), Rgb(kWhite));
        }
        previous = percent;
    }
    // The +50 tip lay in the strip restored when the needle left it.
    EXPECT_NE(Rgb(gauge.Panel().pixel(tipPlus50)), Rgb(kNeedleRgb));
}

TEST_F(FineTuningGaugeTest, HubIsDrawnWithWhiteTransparent) {
    gauge.Draw(client, true, false);
    const QImage panel = gauge.Panel();
    const QImage hub = bmp::Read(Art("Circle.bmp"));
    ASSERT_FALSE(hub.isNull());
    int opaque = 0;
    int transparent = 0;
    int needleShowing = 0;
    for (int y = 0; y < hub.height(); ++y)
        for (int x = 0; x < hub.width(); ++x) {
            const QRgb under = panel.pixel(91 + x, 232 + y);
            if (Rgb(hub.pixel(x, y)) == 0xFFFFFFu) {
                ++transparent;
                // What lies beneath shows through: the white panel, or the needle above the dome.
                if (Rgb(under) == Rgb(kNeedleRgb))
                    ++needleShowing;
                else
                    EXPECT_EQ(Rgb(under), Rgb(kWhite));
            } else {
                ++opaque;
                EXPECT_EQ(Rgb(under), Rgb(hub.pixel(x, y)));
            }
        }
    EXPECT_GT(opaque, 500);
    EXPECT_GT(transparent, 50);
    EXPECT_GT(needleShowing, 0);
    // The hub covers the needle's inner end.
    EXPECT_NE(Rgb(panel.pixel(120, 242)), Rgb(kNeedleRgb));
}

TEST_F(FineTuningGaugeTest, EFlat2GlyphPlacement) {
    gauge.SetNote(3);
    gauge.SetOctave(2);
    gauge.Draw(client, true, false);
    const QImage panel = gauge.Panel();
    EXPECT_TRUE(Note(panel, blueNotes, 4, 18));   // E, 27 wide
    EXPECT_TRUE(Note(panel, blueNotes, 8, 45));   // flat, 24 wide
    EXPECT_TRUE(Digit(panel, blueDigits, 2, 69)); // octave
    EXPECT_TRUE(AllColour(panel, QRect(94, 20, 6, 27), kWhite));
}

TEST_F(FineTuningGaugeTest, AccidentalsAndOctaveClamping) {
    gauge.Draw(client, true, false);
    Frame(0, 10, 12); // Bb, octave 12 shows 9
    QImage panel = gauge.Panel();
    EXPECT_TRUE(Note(panel, blueNotes, 1, 18));
    EXPECT_TRUE(Note(panel, blueNotes, 8, 46));
    EXPECT_TRUE(Digit(panel, blueDigits, 9, 70));
    Frame(0, 8, -3); // G#, octave -3 shows 0; the wider Bb's leftovers are cleared
    panel = gauge.Panel();
    EXPECT_TRUE(Note(panel, blueNotes, 6, 18));
    EXPECT_TRUE(Note(panel, blueNotes, 7, 48));
    EXPECT_TRUE(Digit(panel, blueDigits, 0, 73));
    EXPECT_TRUE(AllColour(panel, QRect(99, 20, 1, 27), kWhite));
    Frame(0, 12, 5); // no such note: no letters, the octave at x 18
    panel = gauge.Panel();
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
        gauge.SetTextColor(kBlueText);
        gauge.SetPercent(s.from);
        gauge.Draw(client, true, false);
        gauge.SetTextColor(kGreenText);
        Frame(s.to, 0, 0);
        const QImage panel = gauge.Panel();
        const int a = std::abs(s.to);
        const GlyphStrip& sign = s.signRedrawn ? greenDigits : blueDigits;
        const GlyphStrip& tens = s.tensRedrawn ? greenDigits : blueDigits;
        if (s.to < 0) {
            EXPECT_TRUE(AllColour(panel, QRect(119, 20, 6, 20), kWhite));
            EXPECT_TRUE(Digit(panel, sign, FineTuningGauge::kGlyphMinus, 125));
        } else {
            EXPECT_TRUE(Digit(panel, sign, FineTuningGauge::kGlyphPlus, 119));
        }
        EXPECT_TRUE(Digit(panel, tens, a / 10, 143));
        EXPECT_TRUE(Digit(panel, greenDigits, a % 10, 168));
        EXPECT_TRUE(Digit(panel, blueDigits, FineTuningGauge::kGlyphPercent, 195));
    }
}

TEST_F(FineTuningGaugeTest, FrameCopiesOnlyChangedAreas) {
    gauge.SetNote(9);
    gauge.SetOctave(4);
    gauge.Draw(client, true, false);
    ChangedRects rects = Frame(12); // same note and octave as before: number and needle only
    ASSERT_EQ(rects.Count(), 2);
    EXPECT_EQ(rects[0], QRect(169, 63, 100, 28));
    EXPECT_EQ(rects[1], QRect(52, 101, 236, 199));
    EXPECT_TRUE(SameBlock(client, 50, 43, gauge.Panel(), 0, 0, 240, 257));

    // Two identical frames: nothing is copied and the window is untouched.
    Frame(12);
    const QImage before = client.copy();
    rects = Frame(12);
    EXPECT_TRUE(rects.Empty());
    EXPECT_EQ(client, before);

    // Only the note changed: only the note area.
    rects = Frame(12, 2, 4);
    ASSERT_EQ(rects.Count(), 1);
    EXPECT_EQ(rects[0], QRect(68, 63, 80, 28));
}

TEST_F(FineTuningGaugeTest, NeedleColourChangeRedrawsTheNeedleWithoutClearingBelowTheScale) {
    // The needle was last drawn at +10; the percent then moved to +30 and settled without a
    // redraw. A colour change alone redraws the needle at +30 but does not clear the area
    // below the scale, so the +10 needle's lower part stays (the rule under test).
    for (int i = 0; i < 2; ++i) {
        gauge.SetNote(0);
        gauge.SetOctave(0);
    }
    gauge.SetPercent(10);
    gauge.Draw(client, true, false);
    gauge.SetPercent(30);
    gauge.SetPercent(30);
    gauge.SetNeedleColor(0x00A000);
    const ChangedRects rects = gauge.Draw(client, false, true);
    ASSERT_EQ(rects.Count(), 2);
    EXPECT_EQ(rects[0], QRect(169, 63, 100, 28));
    EXPECT_EQ(rects[1], QRect(52, 101, 236, 199));
    const QImage panel = gauge.Panel();
    EXPECT_EQ(Rgb(panel.pixel(FineTuningGauge::NeedlePoint(30, 120))), Rgb(qRgb(0, 160, 0)));
    EXPECT_EQ(Rgb(panel.pixel(FineTuningGauge::NeedlePoint(30, 182))), Rgb(qRgb(0, 160, 0)));
    EXPECT_EQ(Rgb(panel.pixel(FineTuningGauge::NeedlePoint(10, 100))), Rgb(kNeedleRgb));
    EXPECT_EQ(gauge.Trail(), FineTuningGauge::TrailFor(30));
}

TEST_F(FineTuningGaugeTest, FramesAndFullRedrawsFromTwoThreadsDoNotInterleave) {
    // Each thread has its own target; the gauge's own state is shared.
    QImage other = client.copy();
    std::thread frames([this] {
        for (int i = 0; i < 300; ++i)
            Frame((i * 7) % 101 - 50, i % 12, i % 9);
    });
    for (int i = 0; i < 60; ++i)
        gauge.Draw(other, true, false);
    frames.join();
    // After the last frame, a full redraw matches a fresh gauge given the same values.
    gauge.Draw(other, true, false);
    FineTuningGauge fresh;
    ASSERT_TRUE(fresh.Create(testutil::ArtDir()));
    fresh.SetNeedleColor(kNeedle);
    fresh.SetTextColor(kBlueText);
    fresh.SetPercent((299 * 7) % 101 - 50);
    fresh.SetNote(299 % 12);
    fresh.SetOctave(299 % 9);
    QImage expected = Solid(300, 380, 240, 240, 240);
    fresh.Draw(expected, true, false);
    EXPECT_TRUE(SameBlock(other, 50, 43, expected, 50, 43, 240, 257));
}
