// Pictures of each dialog as the offscreen platform draws them, for the documentation.
#include <gtest/gtest.h>

#include <QDir>
#include <QTabWidget>

#include "DialogTestSupport.h"
#include "dialogs/ConcertADialog.h"
#include "dialogs/OptionsSheet.h"

namespace {

void Save(QWidget& widget, const char* name) {
    const QImage image = widget.grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), widget.size() * widget.devicePixelRatio());
    EXPECT_TRUE(image.save(QStringLiteral(TARVO_BINARY_DIR "/screenshots/") + name));
}

} // namespace

TEST(Screenshots, EachDialog) {
    QDir().mkpath(QStringLiteral(TARVO_BINARY_DIR "/screenshots"));
    ConcertADialog concertA(440.0F);
    concertA.show();
    Save(concertA, "dialog-concert-a.png");

    FakeDevices devices = SampleDevices();
    OptionsSheet sheet(kDefaultColors, 1, 0, devices);
    sheet.show();
    Save(sheet, "options-colors.png");
    sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
    Save(sheet, "options-devices.png");
}
