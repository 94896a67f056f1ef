// Tarvo Instrument Tuner: reads no command-line arguments; its artwork, help page, settings and
// error log live in the current directory.

#include "app/SimulatedInput.h"
#include "app/TunerApp.h"
#include "app/TunerWindow.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tarvo-tuner"));
    application.setDesktopFileName(QStringLiteral("tarvo-tuner"));

    int status = 1;
    bool abandoned = false;
    {
        TunerApp tuner(SimulatedInputFromEnvironment());
        if (tuner.InitInstance()) {
            status = QApplication::exec();
            abandoned = tuner.MainWindow() && tuner.MainWindow()->CaptureAbandoned();
        }
        if (abandoned) {
            // A capture thread hangs in the audio service: the settings are saved; end now
            // rather than free what that thread may still use.
            std::_Exit(status);
        }
    }
    return status;
}
