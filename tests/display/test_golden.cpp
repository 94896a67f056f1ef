// Fully drawn gauges against reference images. After a deliberate change to the artwork or
// the drawing, regenerate them with tests/display/regenerate_golden.sh and review the diff.

#include "GaugeScene.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

TEST(GoldenImages, FullyDrawnGaugesMatchTheReferences) {
    for (const GaugeScene& scene : GoldenScenes()) {
        SCOPED_TRACE(scene.name);
        const QImage rendered = RenderScene(testutil::ArtDir(), scene);
        ASSERT_FALSE(rendered.isNull());
        const QString path = QString(TARVO_SOURCE_DIR) + "/tests/display/golden/" +
                             QString::fromStdString(scene.name) + ".png";
        QImage golden(path);
        ASSERT_FALSE(golden.isNull()) << "missing " << path.toStdString();
        golden = golden.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(golden.size(), rendered.size());
        int differing = 0;
        QPoint first;
        for (int y = 0; y < golden.height(); ++y)
            for (int x = 0; x < golden.width(); ++x)
                if (testutil::Rgb(golden.pixel(x, y)) != testutil::Rgb(rendered.pixel(x, y)))
                    if (differing++ == 0)
                        first = QPoint(x, y);
        EXPECT_EQ(differing, 0) << "first difference at (" << first.x() << ", " << first.y() << ")";
    }
}
