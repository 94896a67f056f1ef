// Pixel rules of the skins: clipping and transparency.

#include "TestUtil.h"

#include "display/SkinBitmap.h"

#include <gtest/gtest.h>

using testutil::Rgb;
using testutil::Solid;
using testutil::WriteTemp;

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
    QImage want = target.copy();
    masked.Draw(target, 1, 1);
    want.setPixel(2, 1, qRgb(10, 20, 30));
    want.setPixel(1, 2, qRgb(0, 0, 0));
    want.setPixel(3, 2, qRgb(254, 255, 255));
    EXPECT_TRUE(target == want);
    // Partly off the target: clipped, no fault.
    masked.Draw(target, 4, -1); // only the hub's column 0, row 1 lands: black
    masked.Draw(target, -2, 2); // only the hub's column 2 lands: white, then near-white
    want.setPixel(4, 0, qRgb(0, 0, 0));
    want.setPixel(0, 3, qRgb(254, 255, 255));
    EXPECT_TRUE(target == want);
}
