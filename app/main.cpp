// Tarvo Instrument Tuner: reads no command-line arguments; its artwork, help page, settings and
// error log live in the current directory.

#include "app/SignalExit.h"
#include "app/SimulatedInput.h"
#include "app/TunerApp.h"
#include "app/TunerWindow.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <cstdlib>

namespace {

// A termination signal ends the tuner like its close box, whose exit steps stop capture and
// write state.txt. A dialog open at that moment is closed first, and the window only from the
// outermost event loop, so no dialog returns into a window that is gone.
void CloseFromSignal(TunerApp* tuner) {
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    TunerWindow* window = tuner->MainWindow();
    if (window == nullptr || QThread::currentThread()->loopLevel() > 1) {
        QTimer::singleShot(50, tuner, [tuner] { CloseFromSignal(tuner); });
        return;
    }
    window->SetUnattendedExit();
    window->close();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tarvo-tuner"));
    application.setDesktopFileName(QStringLiteral("tarvo-tuner"));

    int status = 1;
    bool abandoned = false;
    {
        TunerApp tuner(SimulatedInputFromEnvironment());
        InstallSignalExit(&tuner, [&tuner] { CloseFromSignal(&tuner); });
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
