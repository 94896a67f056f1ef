// The BMP loading path against malformed files: every fault gives an empty skin, never a
// crash or an allocation sized by a forged header.

#include "TestUtil.h"
#include "tests/common/TestFiles.h"

#include "display/BlendedBitmap.h"
#include "display/FineTuningGauge.h"
#include "display/GlyphStrip.h"
#include "display/SkinBitmap.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cstring>
#include <functional>
#include <random>

using testutil::Rgb;
using testutil::Solid;
using testutil::WriteTemp;

namespace {

// A 3 x 2 picture (rows padded from 9 to 12 bytes) with distinct pixels.
QImage Sample() {
    QImage image(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, qRgb(10 * x + 1, 20 * y + 2, 3 + x + y));
    return image;
}

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

QImage DecodeString(const std::string& s) {
    return bmp::Decode(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

struct Malformed {
    const char* what;
    std::function<void(std::string&)> damage;
};

const Malformed kMalformed[] = {
    {"empty file", [](std::string& s) { s.clear(); }},
    {"header cut short", [](std::string& s) { s.resize(30); }},
    {"pixel data one byte short", [](std::string& s) { s.pop_back(); }},
    {"pixel data missing", [](std::string& s) { s.resize(54); }},
    {"not BM", [](std::string& s) { s[0] = 'P'; }},
    {"8 bits with a palette",
     [](std::string& s) {
         Put16(s, 28, 8);
         Put32(s, 46, 256);
     }},
    {"32 bits", [](std::string& s) { Put16(s, 28, 32); }},
    {"RLE8 compression", [](std::string& s) { Put32(s, 30, 1); }},
    {"zero planes", [](std::string& s) { Put16(s, 26, 0); }},
    {"core header", [](std::string& s) { Put32(s, 14, 12); }},
    {"unknown header size", [](std::string& s) { Put32(s, 14, 41); }},
    {"huge header size", [](std::string& s) { Put32(s, 14, 0xFFFFFFF0u); }},
    {"negative width", [](std::string& s) { Put32(s, 18, static_cast<std::uint32_t>(-3)); }},
    {"zero height", [](std::string& s) { Put32(s, 22, 0); }},
    {"absurd height", [](std::string& s) { Put32(s, 22, 0x40000000); }},
    {"most negative height", [](std::string& s) { Put32(s, 22, 0x80000000u); }},
    {"too many pixels", // each side allowed, the product not
     [](std::string& s) {
         Put32(s, 18, 4096);
         Put32(s, 22, 4096);
     }},
    {"large size claimed, data missing",
     [](std::string& s) {
         Put32(s, 18, 2000);
         Put32(s, 22, 2000);
     }},
    {"pixel offset past the end", [](std::string& s) { Put32(s, 10, 0xFFFFFF00u); }},
    {"pixel offset inside the header", [](std::string& s) { Put32(s, 10, 20); }},
};

} // namespace

TEST(BmpFile, ReadsWhatItWritesTopDownFilesAndPastAColourTable) {
    const std::string bytes = bmp::Encode(Sample());
    EXPECT_EQ(bytes.size(), 54u + 2 * 12);
    // Top-down: negative height, rows stored first row first.
    std::string topDown = bytes;
    Put32(topDown, 22, static_cast<std::uint32_t>(-2));
    std::memcpy(topDown.data() + 54, bytes.data() + 66, 12);
    std::memcpy(topDown.data() + 66, bytes.data() + 54, 12);
    // A 24-bit file may carry an (unused) colour table; the pixel offset says where data is.
    std::string withTable = bytes;
    withTable.insert(54, std::string(16, '\x55'));
    Put32(withTable, 10, 54 + 16);
    Put32(withTable, 46, 4);
    for (const std::string& file : {bytes, topDown, withTable}) {
        const QImage image = DecodeString(file);
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        EXPECT_TRUE(image == Sample());
    }
}

TEST(BmpFile, MalformedFilesAreRefused) {
    QTemporaryDir dir;
    const std::string good = WriteTemp(dir, "good.bmp", Sample());
    for (const Malformed& m : kMalformed) {
        SCOPED_TRACE(m.what);
        std::string bytes = bmp::Encode(Sample());
        m.damage(bytes);
        EXPECT_TRUE(DecodeString(bytes).isNull());
        // The same through the file path and each kind of skin.
        const std::string path = dir.path().toStdString() + "/bad.bmp";
        testfiles::WriteBytes(path, bytes);
        EXPECT_TRUE(bmp::Read(path).isNull());
        SkinBitmap skin;
        EXPECT_FALSE(skin.Load(path));
        EXPECT_TRUE(skin.Empty());
        MaskedBitmap hub;
        EXPECT_FALSE(hub.Load(path, 0xFFFFFF));
        GlyphStrip strip;
        EXPECT_FALSE(strip.Load(good, path)); // a bad second file empties the strip too
        EXPECT_TRUE(strip.Empty());
        BlendedBitmap logo;
        EXPECT_FALSE(logo.Load(path, good));
        EXPECT_TRUE(logo.Empty());
    }
}

TEST(BmpFile, RandomDamageNeverFaults) {
    // Flip, cut and overwrite bytes of a valid file; the decoder must either refuse or give
    // an image of the size the (validated) header states. Seeded, so failures reproduce.
    std::mt19937 random(20261206);
    const std::string original = bmp::Encode(Solid(7, 5, 1, 2, 3));
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = original;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
                break;
            default:
                bytes.resize(at);
                break;
            }
            if (bytes.empty())
                break;
        }
        const QImage image = DecodeString(bytes);
        if (!image.isNull()) {
            EXPECT_LE(image.width(), bmp::kMaxSide);
            EXPECT_LE(image.height(), bmp::kMaxSide);
        }
    }
}

TEST(BmpFile, MissingHubLeavesTheNeedleWithoutIt) {
    QTemporaryDir dir;
    const std::string art = testutil::ArtDir();
    for (const char* name :
         {"NotesClr.bmp", "NotesBev.bmp", "NumClr.bmp", "NumBev.bmp", "Label.bmp"})
        ASSERT_TRUE(QFile::copy(QString::fromStdString(art + "/" + name), dir.path() + "/" + name));
    NoteDisplay notes;
    NeedleGauge needle;
    EXPECT_FALSE(LoadFineTuningArtwork(notes, needle, dir.path().toStdString()));
    needle.SetNeedleColor(0x0000FF);
    QImage client = Solid(300, 380, 240, 240, 240);
    notes.Draw(client, true);
    needle.Draw(client, true);
    const QImage panel = client.copy(finetuning::kPanel);
    EXPECT_FALSE(testutil::AllColour(panel, QRect(119, 20, 110, 27), qRgb(255, 255, 255)));
    EXPECT_FALSE(testutil::AllColour(panel, QRect(2, 59, 236, 30), qRgb(255, 255, 255)));
    // The needle's inner end, otherwise under the hub, is bare.
    EXPECT_EQ(Rgb(panel.pixel(120, 242)), Rgb(qRgb(255, 0, 0)));
    EXPECT_EQ(Rgb(panel.pixel(100, 250)), Rgb(qRgb(255, 255, 255)));
}
