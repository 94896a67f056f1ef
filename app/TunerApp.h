#pragma once
// The application object: creates the main window, centres and shows it, and ends the message
// loop when the window has been destroyed.

#include <QObject>
#include <QPointer>

#include <memory>

class TunerWindow;
class WaveInService;

class TunerApp : public QObject {
    Q_OBJECT
public:
    // `service`: the wave-in service to record from (PortAudio when null).
    explicit TunerApp(std::shared_ptr<WaveInService> service = nullptr);
    ~TunerApp() override;

    // Creates the window, makes it the main window, centres it on the screen, shows it and
    // paints it at once. False when the window's creation failed (the program then ends).
    bool InitInstance();

    TunerWindow* MainWindow() const { return m_pMainWnd; }

private:
    std::shared_ptr<WaveInService> m_service;
    QPointer<TunerWindow> m_pMainWnd;
};
