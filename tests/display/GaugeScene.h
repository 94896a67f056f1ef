#pragma once
// Composes the two instruments the way the main window lays them out, for golden images and
// the documentation picture.

#include <QImage>

#include <string>
#include <vector>

struct GaugeScene {
    std::string name; // file stem of the golden image
    int note = 9;     // 0 = C
    int octave = 4;
    int percent = 0;
    float level = 0.0f;
};

// The scenes kept as golden images under tests/display/golden/.
std::vector<GaugeScene> GoldenScenes();

// A 300 x 380 client area in the button-face grey with both gauges fully drawn from the
// artwork in artDir, default colour scheme; a null image when the artwork is missing.
QImage RenderScene(const std::string& artDir, const GaugeScene& scene);
