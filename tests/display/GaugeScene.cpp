#include "GaugeScene.h"

#include "display/EnergyGauge.h"
#include "display/FineTuningGauge.h"
#include "model/TunerSettings.h"

std::vector<GaugeScene> GoldenScenes() {
    return {
        {"a4-plus12", 9, 4, 12, 0.85f},
        {"eflat2-minus37", 3, 2, -37, 0.4f},
        {"fsharp3-zero", 6, 3, 0, 0.0f},
    };
}

QImage RenderScene(const std::string& artDir, const GaugeScene& scene) {
    QImage client(300, 380, QImage::Format_RGB32);
    client.fill(qRgb(240, 240, 240));
    EnergyGauge energy;
    energy.Create(10, 43, 40, 300);
    NoteDisplay notes;
    NeedleGauge needle;
    if (!LoadFineTuningArtwork(notes, needle, artDir))
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
