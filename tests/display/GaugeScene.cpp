#include "GaugeScene.h"

#include "display/EnergyGauge.h"
#include "display/FineTuningGauge.h"

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
    FineTuningGauge fine;
    if (!fine.Create(artDir))
        return {};
    EnergyGauge energy;
    energy.Create(10, 43, 40, 300);
    // The default colour scheme: needle, high energy, low energy, text (0x00BBGGRR).
    energy.SetColors(0xFF0000, 0x008000);
    energy.SetLevel(scene.level);
    fine.SetNeedleColor(0xA00000);
    fine.SetTextColor(0xFF0000);
    fine.SetNote(scene.note);
    fine.SetOctave(scene.octave);
    fine.SetPercent(scene.percent);
    energy.Draw(client, true);
    fine.Draw(client, true, false);
    return client;
}
