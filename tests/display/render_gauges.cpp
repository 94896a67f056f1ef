// Renders the gauges to PNG files.
//   render_gauges --golden <art-dir> <out-dir>     rewrite the golden images
//   render_gauges <art-dir> <out.png> <note> <octave> <percent> <level> [scale]

#include "GaugeScene.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--golden") {
        for (const GaugeScene& scene : GoldenScenes()) {
            const QImage image = RenderScene(argv[2], scene);
            const std::string out = std::string(argv[3]) + "/" + scene.name + ".png";
            if (image.isNull() || !image.save(QString::fromStdString(out), "PNG")) {
                std::fprintf(stderr, "render_gauges: cannot render %s\n", out.c_str());
                return 1;
            }
            std::printf("wrote %s\n", out.c_str());
        }
        return 0;
    }
    if (argc < 7) {
        std::fprintf(stderr, "usage: render_gauges --golden <art-dir> <out-dir>\n"
                             "       render_gauges <art-dir> <out.png> <note> <octave> "
                             "<percent> <level> [scale]\n");
        return 2;
    }
    GaugeScene scene{"", std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                     static_cast<float>(std::atof(argv[6]))};
    QImage image = RenderScene(argv[1], scene);
    if (image.isNull())
        return 1;
    const int scale = argc > 7 ? std::atoi(argv[7]) : 1;
    if (scale > 1)
        image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return image.save(argv[2], "PNG") ? 0 : 1;
}
