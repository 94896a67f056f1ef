#include "app/TunerApp.h"

#include "app/TunerWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>

TunerApp::TunerApp(std::shared_ptr<WaveInService> service) : m_service(std::move(service)) {}

TunerApp::~TunerApp() {
    // A capture thread left running at a stop time-out may still call into the window: the
    // window then lives until the process ends.
    if (m_pMainWnd && !m_pMainWnd->CaptureAbandoned())
        delete m_pMainWnd.data();
}

bool TunerApp::InitInstance() {
    auto* window = new TunerWindow(m_service);
    if (!window->Create()) {
        // The log may be out of sight (or not writable): the reason goes to standard error too.
        std::fprintf(stderr, "tarvo-tuner: %s\n", window->Log().LastMessage().c_str());
        delete window;
        return false;
    }
    m_pMainWnd = window;
    connect(window, &TunerWindow::WindowDestroyed, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - window->rect().center());
    }
    window->show();
    window->OnPaint();
    return true;
}
