// Pixel rules of the skins: blend, tint, transparency, clipping and empty skins.

#include "TestUtil.h"

#include "display/BlendedBitmap.h"
#include "display/GlyphStrip.h"
#include "display/SkinBitmap.h"

#include <gtest/gtest.h>

using testutil::Rgb;
using testutil::Solid;
using testutil::WriteTemp;

namespace {

// Blends one picture pixel against one background through one opacity value.
QRgb BlendOne(QRgb picture, int opacityBlue, std::uint32_t background) {
    QTemporaryDir dir;
    QImage p(1, 1, QImage::Format_RGB32);
    p.fill(picture);
    BlendedBitmap logo;
    EXPECT_TRUE(logo.Load(WriteTemp(dir, "p.bmp", p),
                          WriteTemp(dir, "o.bmp", Solid(1, 1, 7, 99, opacityBlue))));
    EXPECT_TRUE(logo.BlendWith(background));
    return logo.Result().pixel(0, 0);
}

// Tints one glyph pixel with colour amount a and bevel b.
QRgb TintOne(int amountBlue, int bevelBlue, std::uint32_t text) {
    QTemporaryDir dir;
    GlyphStrip strip;
    EXPECT_TRUE(strip.Load(WriteTemp(dir, "a.bmp", Solid(1, 1, 0, 0, amountBlue)),
                           WriteTemp(dir, "b.bmp", Solid(1, 1, 0, 0, bevelBlue))));
    strip.SetColor(text);
    return strip.Result().pixel(0, 0);
}

} // namespace

TEST(BlendedBitmap, BlendRuleExamples) {
    // Opacity 0 keeps the picture exactly.
    EXPECT_EQ(Rgb(BlendOne(qRgb(12, 200, 77), 0, 0xC0C0C0)), Rgb(qRgb(12, 200, 77)));
    // Opacity 255, black picture, background (192, 192, 192): 255/256 of the way.
    EXPECT_EQ(Rgb(BlendOne(qRgb(0, 0, 0), 255, 0xC0C0C0)), Rgb(qRgb(191, 191, 191)));
    // Half way, truncating toward zero in both directions: 10 + 122.5 -> 132,
    // 201 - 100.5 -> 101 (not 100), 100 - 25 -> 75. Background (255, 0, 50) as 0x00BBGGRR.
    EXPECT_EQ(Rgb(BlendOne(qRgb(10, 201, 100), 128, 0x3200FF)), Rgb(qRgb(132, 101, 75)));
    // Only the opacity's blue channel counts (its red/green are 7 and 99 above).
}

TEST(BlendedBitmap, SmallerOpacityPictureReadsAsBlue255Outside) {
    QTemporaryDir dir;
    BlendedBitmap logo;
    ASSERT_TRUE(logo.Load(WriteTemp(dir, "p.bmp", Solid(4, 3, 0, 0, 0)),
                          WriteTemp(dir, "o.bmp", Solid(2, 2, 0, 0, 0))));
    EXPECT_EQ(logo.Width(), 4);
    EXPECT_EQ(logo.Height(), 3);
    logo.BlendWith(0xC0C0C0);
    EXPECT_EQ(Rgb(logo.Result().pixel(1, 1)), Rgb(qRgb(0, 0, 0)));
    EXPECT_EQ(Rgb(logo.Result().pixel(2, 0)), Rgb(qRgb(191, 191, 191)));
    EXPECT_EQ(Rgb(logo.Result().pixel(0, 2)), Rgb(qRgb(191, 191, 191)));
}

TEST(BlendedBitmap, MissingFileLeavesItEmpty) {
    QTemporaryDir dir;
    BlendedBitmap logo;
    EXPECT_FALSE(logo.Load(WriteTemp(dir, "p.bmp", Solid(4, 3, 0, 0, 0)),
                           dir.path().toStdString() + "/nothing.bmp"));
    EXPECT_TRUE(logo.Empty());
    EXPECT_TRUE(logo.BlendWith(0xC0C0C0));
    QImage target = Solid(8, 8, 1, 2, 3);
    const QImage before = target.copy();
    logo.Draw(target, 0, 0);
    EXPECT_EQ(target, before);
}

TEST(GlyphStrip, TintRuleExamples) {
    const std::uint32_t red = 0x0000FF;
    const std::uint32_t blue = 0xFF0000;
    EXPECT_EQ(Rgb(TintOne(0, 255, red)), Rgb(qRgb(255, 0, 0)));
    EXPECT_EQ(Rgb(TintOne(0, 128, red)), Rgb(qRgb(128, 0, 0)));
    EXPECT_EQ(Rgb(TintOne(255, 255, red)), Rgb(qRgb(255, 255, 255)));
    EXPECT_EQ(Rgb(TintOne(128, 255, blue)), Rgb(qRgb(128, 128, 255)));
}

TEST(GlyphStrip, SmallerBevelReadsAsBlue255AndDrawGlyphCopiesTheRectangle) {
    QTemporaryDir dir;
    GlyphStrip strip;
    ASSERT_TRUE(strip.Load(WriteTemp(dir, "a.bmp", Solid(6, 4, 0, 0, 0)),
                           WriteTemp(dir, "b.bmp", Solid(3, 4, 0, 0, 0))));
    strip.SetColor(0x0000FF);
    EXPECT_EQ(Rgb(strip.Result().pixel(1, 1)), 0u);                   // bevel 0: black
    EXPECT_EQ(Rgb(strip.Result().pixel(4, 1)), Rgb(qRgb(255, 0, 0))); // outside: kept
    QImage target = Solid(10, 10, 9, 9, 9);
    strip.DrawGlyph(target, 5, 7, 2, 1, 5, 4); // 3 x 3, clipped at the right and bottom
    EXPECT_EQ(Rgb(target.pixel(4, 7)), Rgb(qRgb(9, 9, 9)));
    EXPECT_EQ(Rgb(target.pixel(5, 7)), 0u);
    EXPECT_EQ(Rgb(target.pixel(6, 9)), Rgb(qRgb(255, 0, 0)));
    EXPECT_EQ(Rgb(target.pixel(8, 9)), Rgb(qRgb(9, 9, 9)));
}

TEST(SkinBitmap, DrawPartClipsToBothSurfaces) {
    QTemporaryDir dir;
    QImage picture(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            picture.setPixel(x, y, qRgb(x * 10, y * 10, 0));
    SkinBitmap skin;
    ASSERT_TRUE(skin.Load(WriteTemp(dir, "s.bmp", picture)));
    EXPECT_EQ(skin.Height(), 4);
    QImage target = Solid(5, 5, 200, 200, 200);
    skin.DrawPart(target, -1, 3, 2, 1, 30, 30); // starts left of the target, runs past both
    EXPECT_EQ(Rgb(target.pixel(0, 3)), Rgb(qRgb(30, 10, 0)));
    EXPECT_EQ(Rgb(target.pixel(0, 4)), Rgb(qRgb(30, 20, 0)));
    EXPECT_EQ(Rgb(target.pixel(1, 4)), Rgb(qRgb(200, 200, 200))); // source ran out
    EXPECT_EQ(Rgb(target.pixel(0, 2)), Rgb(qRgb(200, 200, 200)));
}

TEST(MaskedBitmap, WhitePixelsShowWhatLiesBeneath) {
    QTemporaryDir dir;
    QImage hub = Solid(3, 2, 255, 255, 255);
    hub.setPixel(1, 0, qRgb(10, 20, 30));
    hub.setPixel(2, 1, qRgb(254, 255, 255)); // near-white is not transparent
    hub.setPixel(0, 1, qRgb(0, 0, 0));       // black survives the cut-out
    MaskedBitmap masked;
    ASSERT_TRUE(masked.Load(WriteTemp(dir, "c.bmp", hub), 0xFFFFFF));
    QImage target(5, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            target.setPixel(x, y, qRgb(x, y, 99));
    const QImage before = target.copy();
    masked.Draw(target, 1, 1);
    EXPECT_EQ(Rgb(target.pixel(1, 1)), Rgb(before.pixel(1, 1)));
    EXPECT_EQ(Rgb(target.pixel(2, 1)), Rgb(qRgb(10, 20, 30)));
    EXPECT_EQ(Rgb(target.pixel(3, 1)), Rgb(before.pixel(3, 1)));
    EXPECT_EQ(Rgb(target.pixel(1, 2)), Rgb(qRgb(0, 0, 0)));
    EXPECT_EQ(Rgb(target.pixel(2, 2)), Rgb(before.pixel(2, 2)));
    EXPECT_EQ(Rgb(target.pixel(3, 2)), Rgb(qRgb(254, 255, 255)));
    // Partly off the target: clipped, no fault.
    masked.Draw(target, 4, -1); // only the hub's column 0, row 1 lands: black
    EXPECT_EQ(Rgb(target.pixel(4, 0)), Rgb(qRgb(0, 0, 0)));
    EXPECT_EQ(Rgb(target.pixel(4, 1)), Rgb(before.pixel(4, 1)));
    masked.Draw(target, -2, 2); // only the hub's column 2 lands: white, then near-white
    EXPECT_EQ(Rgb(target.pixel(0, 2)), Rgb(before.pixel(0, 2)));
    EXPECT_EQ(Rgb(target.pixel(0, 3)), Rgb(qRgb(254, 255, 255)));
}
