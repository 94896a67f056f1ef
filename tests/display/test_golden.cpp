// Fully drawn gauges against reference images. After a deliberate change to the artwork or
// the drawing, regenerate them with tests/display/regenerate_golden.sh (this test run with
// TARVO_WRITE_GOLDEN set writes what it draws) and review the diff.

#include "TestUtil.h"

#include "display/EnergyGauge.h"
#include "display/FineTuningGauge.h"
#include "model/TunerSettings.h"

#include <gtest/gtest.h>

namespace {

struct Scene {
    const char* name; // file stem of the golden image
    int note;         // 0 = C
    int octave, percent;
    float level;
};

// A 300 x 380 client area in the button-face grey with both gauges fully drawn where the
// window lays them out, default colour scheme; a null image when the artwork is missing.
QImage Render(const Scene& scene) {
    QImage client = testutil::Solid(300, 380, 240, 240, 240);
    EnergyGauge energy;
    energy.Create(10, 43, 40, 300);
    NoteDisplay notes;
    NeedleGauge needle;
    if (!LoadFineTuningArtwork(notes, needle, testutil::ArtDir()))
        return {};
    InstrumentReading reading;
    reading.note = scene.note;
    reading.octave = scene.octave;
    reading.percent = scene.percent;
    reading.level = scene.level;
    reading.needleColor = ColorScheme{}.needleColor;
    for (Instrument* instrument :
         {static_cast<Instrument*>(&energy), static_cast<Instrument*>(&notes),
          static_cast<Instrument*>(&needle)}) {
        instrument->TakeColors(ColorScheme{});
        instrument->TakeReading(reading, 0.0);
        instrument->Draw(client, true, 0.0);
    }
    return client;
}

} // namespace

TEST(GoldenImages, FullyDrawnGaugesMatchTheReferences) {
    const Scene scenes[] = {
        {"a4-plus12", 9, 4, 12, 0.85f},
        {"eflat2-minus37", 3, 2, -37, 0.4f},
        {"fsharp3-zero", 6, 3, 0, 0.0f},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const QImage rendered = Render(scene);
        ASSERT_FALSE(rendered.isNull());
        const QString path =
            QString(TARVO_SOURCE_DIR) + "/tests/display/golden/" + scene.name + ".png";
        if (qEnvironmentVariableIsSet("TARVO_WRITE_GOLDEN")) {
            ASSERT_TRUE(rendered.save(path, "PNG")) << path.toStdString();
        }
        QImage golden(path);
        ASSERT_FALSE(golden.isNull()) << "missing " << path.toStdString();
        EXPECT_TRUE(golden.convertToFormat(QImage::Format_RGB32) == rendered)
            << "differs from " << path.toStdString()
            << "; regenerate_golden.sh writes what is drawn";
    }
}
