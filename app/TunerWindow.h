#pragma once
// The main window: a fixed 300 x 380 client area holding the key selector, the logo, the energy
// gauge, the fine-tuning gauge (note display above a needle or, after the S key, a strobe),
// four buttons and a hint line. It owns everything long-lived: the controls, the instruments,
// the settings, the engine, the pitch tracker and the error log.
//
// Threads. Everything here runs on the window thread except OnFrame, which the engine calls on
// the capture thread for every analysed frame, hundreds of times a second. It runs the frame
// through the tracker and hands the reading over in m_newest, without a lock, a wait or a call
// into the window thread. The window thread shows the newest reading once per display refresh
// (ShowNewestReading, run by the pace timer): the instruments take it, and at every refresh, new
// reading or not, draw what changed (a strobe moves with time) into m_surface (the client area
// as an image); the window repaints that. Only the window thread draws. Flags crossing threads
// are atomics.

#include "analysis/FramePipeline.h"
#include "analysis/PitchResult.h"
#include "analysis/PitchTracker.h"
#include "app/ErrorLog.h"
#include "app/LatestValue.h"
#include "capture/RecordingStart.h"
#include "capture/TunerEngine.h"
#include "dialogs/DialogFlow.h"
#include "display/BlendedBitmap.h"
#include "display/EnergyGauge.h"
#include "display/FineTuningGauge.h"
#include "display/StrobeGauge.h"
#include "model/TunerSettings.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class HintButton;
class HintComboBox;
class QLabel;
class QTimer;
class WaveInService;

class TunerWindow : public QWidget, private RecordingReporter {
    Q_OBJECT
public:
    // Control ids (kept as each control's "id" property and object name "id<N>").
    static constexpr int IDC_CONCERT_A = 10001;
    static constexpr int IDC_OPTIONS = 10004;
    static constexpr int IDC_HELP = 10005;
    static constexpr int IDC_EXIT = 10006;
    static constexpr int IDC_HINT = 10007;
    static constexpr int IDC_KEY = 10011;
    static constexpr int IDC_KEY_LABEL = 10012;

    static constexpr int kClientWidth = 300;
    static constexpr int kClientHeight = 380;
    static constexpr const char* kBaseTitle = "Tarvo Instrument Tuner 1.02";
    // The needle of a reading at rest: the grey a held reading fades to (0x00BBGGRR).
    static constexpr uint32_t kRestingNeedleColor = 0xA0A0A0;
    static constexpr int kHintTexts = 13;
    static constexpr int kHintRegions = 8;
    static constexpr int kLogoHint = 6;
    static constexpr int kArmed = 6; // a logo arm state after a press inside the logo
    static constexpr int kLogoX = 170;
    static constexpr int kLogoY = 5;
    static constexpr int kTimerPeriodMs = 500;

    // `service`: the wave-in service the engine records from (when null, the desktop's sound
    // server when one answers, else PortAudio).
    explicit TunerWindow(std::shared_ptr<WaveInService> service = nullptr);
    ~TunerWindow() override;

    // The creation steps, in order. False after the failing step wrote its line to the error
    // log; the window must then be deleted without being shown (nothing is saved).
    bool Create();

    // Full redraw of the client area into the surface, then a synchronous repaint: the paint
    // handler, run at the first show and by the 500 ms timer.
    void OnPaint();

    // --- frame update (capture thread) ---
    // The engine's frame callback: `window` is the TunerWindow.
    static void FrameCallback(void* window);
    // One frame from the engine's results.
    void OnFrame();
    // One frame from the given results; what OnFrame runs, callable with made-up results. The
    // reading is shown by the next ShowNewestReading.
    // `peaks`: the frame's spectral peaks, where the strobe finds the reading's harmonics.
    void ProcessFrame(const PitchResult* results, float hop, int sampleRate, float inputLevel,
                      const FramePeaks& peaks = {});

    // --- screen-paced update (window thread) ---
    // Gives the instruments the newest reading the frame update handed over, unless they have
    // it already (then emits ReadingShown), and draws what changed since the last refresh; the
    // window repaints that. The pace timer runs it once per display refresh. True when a new
    // reading was shown.
    bool ShowNewestReading();
    // Milliseconds between two runs of ShowNewestReading: one refresh of the window's screen.
    int PacePeriodMs() const;

    // --- window thread handlers (also driven directly by tests) ---
    void OnColorsChanged();           // the colour-scheme message of the Options sheet
    void OnExit();                    // Exit button and exit key
    void OnChar(int code);            // keyboard commands
    void OnPointerMove(int x, int y); // client coordinates
    void OnLeftButtonDown(int x, int y);
    void OnLeftButtonUp(int x, int y);
    void OnRightButtonDown(int x, int y);
    void OnRightButtonUp(int x, int y);
    void OnKeySelected(int index);
    // The fine-tuning gauge shows the strobe (true) or the needle; remembered between runs.
    void ShowStrobe(bool on);
    bool StartRecording();
    // What the concert A dialog and the Options sheet do to this window when they apply.
    WindowActions Actions();

    // --- inspection ---
    TunerSettings& Settings() { return m_settings; }
    TunerEngine& Engine() { return m_engine; }
    ErrorLog& Log() { return m_errorLog; }
    HintButton* ConcertAButton() const { return m_strAButton; }
    HintButton* OptionsButton() const { return m_pOptions; }
    HintButton* HelpButton() const { return m_pHelp; }
    HintButton* ExitButton() const { return m_pExit; }
    HintComboBox* KeySelector() const { return m_pKeySelector; }
    QLabel* HintLine() const { return m_pHintLine; }
    QString HintText(int index) const;
    static QRect HintRegion(int index); // (left, top)-(right, bottom), right/bottom excluded
    // The fine-tuning gauge's hint while it shows the strobe or the needle.
    static QString FineGaugeHint(bool strobe);
    // What the last shown reading gave the instruments (note after the key, percent, octave).
    int ShownNote() const { return m_nShownNote; }
    int ShownOctave() const { return m_nShownOctave; }
    int ShownPercent() const { return m_nShownPercent; }
    bool StrobeShown() const { return m_bStrobe; }
    const StrobeGauge& Strobe() const { return m_strobeGauge; }
    // Readings shown by ShowNewestReading.
    uint64_t ReadingsShown() const { return m_nReadingsShown; }
    QImage Surface() const; // a copy of the composed client area
    // True when a capture thread had to be left running at a stop time-out: the window must
    // then not be freed while the process lives.
    bool CaptureAbandoned() const;

    // Milliseconds on the window's clock; a fixed value replaces it (tests), nullopt restores.
    uint32_t Now() const;
    void SetFakeTime(std::optional<uint32_t> ms);

    // A running, unpaused recording that hands over no buffer for this long (real time) counts
    // as a device that stopped: the instruments go to rest and the error log says so. 0 turns
    // the watch off (tests on a device that delivers only when asked).
    void SetSilentDeviceLimit(int ms) { m_nSilentDeviceLimitMs = ms; }
    // The exit that follows was not asked for at the window (a termination signal): a failed
    // save is then logged and printed, with no box that would hold the exit.
    void SetUnattendedExit() { m_bUnattendedExit = true; }

signals:
    // The window has been destroyed (state saved); the application ends its message loop.
    void WindowDestroyed();
    // ShowNewestReading has shown a new reading (ShownNote and the others tell which).
    void ReadingShown();

protected:
    // Actions a test replaces so that nothing modal opens and nothing is launched.
    virtual void ShowConcertA();
    virtual void ShowOptions();
    virtual void OpenHelp();
    virtual void OpenWebPage();
    virtual void WarningBox(const QString& title, const QString& text);

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // What the frame update hands the window thread for one frame.
    struct TrackedFrame {
        PitchResult reading;            // the tracker's, before the key's transposition
        float averageInputLevel = 0.0f; // the energy gauge's level
        bool hold = true;
        double holdChangeTime = 0.0;                    // ms, when the hold flag last changed
        std::array<float, kHarmonicsFound> harmonics{}; // Hz, of the reading; 0 = absent
        uint32_t rateCount = 0;                         // frame-rate measurements so far
        double fps = 0.0;                               // the latest of them
    };

    // RecordingReporter
    void ShowWarning(const std::string& title, const std::string& text) override;
    void LogError(const std::string& message) override;

    void ReadSettings();
    void ReadSideSettings();
    std::string KeepUnreadable(const std::string& fileName, std::string& refused);
    void SaveSideSettings();
    void ReportFailedSave(const std::string& why);
    bool CreateFonts();
    bool CreateButtons();
    bool CreateKeySelector();
    void FillHints();
    void MoveFocusRing();
    void OnTimer();
    void WatchForSilentDevice();
    void UpdatePause();
    void DestroyWindow();
    void OnDestroy();
    void PaceToScreen();
    uint32_t NeedleColorAt(uint32_t now, bool hold, double holdChangeTime) const;
    bool Shown(const Instrument* instrument) const;
    void GiveReading(const InstrumentReading& reading, uint32_t now);
    QRect DrawInstruments(bool full, uint32_t now);

    // Members in creation order.
    HintButton* m_strAButton = nullptr;
    HintButton* m_pOptions = nullptr;
    HintButton* m_pHelp = nullptr;
    HintButton* m_pExit = nullptr;
    QLabel* m_pHintLine = nullptr;
    BlendedBitmap m_logo;
    EnergyGauge m_energyGauge;
    NoteDisplay m_noteDisplay;
    NeedleGauge m_needleGauge;
    StrobeGauge m_strobeGauge;
    // Every instrument, in drawing order; the needle or the strobe is not drawn.
    std::array<Instrument*, 4> m_instruments{&m_energyGauge, &m_noteDisplay, &m_needleGauge,
                                             &m_strobeGauge};
    bool m_bStrobe = false;
    HintComboBox* m_pKeySelector = nullptr;
    QLabel* m_pKeyLabel = nullptr;
    QString m_strBaseTitle = kBaseTitle;
    QFont m_mainFont;
    QFont m_presetFont;
    TunerSettings m_settings;
    TunerEngine m_engine;
    PitchTracker m_tracker;
    ErrorLog m_errorLog;
    QString m_strConcertA;
    std::array<QString, kHintTexts> m_hintTexts;
    int m_nCurrentHint = -1;
    int m_nLeftArm = -1;
    int m_nRightArm = -1;
    int m_nFocusCycle = 0;
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bShowFps{false};

    // Frame-update state: capture thread only, except where atomic.
    uint32_t m_nFrameCount = 0;
    uint32_t m_nFpsStart = 0;
    bool m_bPrevHold = true;
    double m_fHoldChangeTime = 500.0;
    TrackedFrame m_tracked;             // the frame being handed over
    LatestValue<TrackedFrame> m_newest; // capture thread to window thread

    // What the window thread shows (the fade times are set at creation).
    double m_fFadeDelay = 100.0;
    double m_fFadeDuration = 1500.0;
    int m_nShownNote = 6;
    int m_nShownOctave = 0;
    int m_nShownPercent = 0;
    InstrumentReading m_shown; // what the instruments were last given
    uint32_t m_nRateCount = 0;
    uint64_t m_nReadingsShown = 0;
    QTimer* m_pPaceTimer = nullptr;
    bool m_bPacedToScreen = false; // following the window's screen's changes

    // The client area as the window thread composes it.
    QImage m_surface;

    // The silent-device watch (window thread).
    int m_nSilentDeviceLimitMs = 2000;
    uint64_t m_nLastBuffersTaken = 0;
    int64_t m_nLastBufferMs = 0;
    bool m_bDeviceSilent = false;

    std::optional<uint32_t> m_lastButtonFace; // 0x00BBGGRR the logo was last blended with
    QTimer* m_pTimer = nullptr;
    bool m_bCreated = false;
    bool m_bDestroyed = false;
    bool m_bRecorded = false;         // recording started at least once in this run
    bool m_bUnattendedExit = false;   // see SetUnattendedExit
    std::string m_strSaveRefused;     // why state.txt must not be replaced at exit, if so
    std::string m_strSideSaveRefused; // the same for the side file
    std::string m_strMissingDevice;   // the remembered recording device last logged as missing
    std::atomic<bool> m_bFakeTime{false};
    std::atomic<uint32_t> m_nFakeTime{0};
    int64_t m_nClockEpochMs = 0;
};
