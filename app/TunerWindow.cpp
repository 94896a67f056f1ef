#include "app/TunerWindow.h"

#include "app/FrameUpdate.h"
#include "app/TunerIcon.h"
#include "capture/WaveInService.h"
#include "dialogs/DialogFlow.h"
#include "display/HintControls.h"
#include "display/Surface.h"
#include "model/Notes.h"
#include "model/SafeFile.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <thread>

namespace {

// A rectangle given as (left, top)-(right, bottom), right column and bottom row excluded.
QRect Rect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const QRect kHintFrame = Rect(10, 340, 290, 374);

} // namespace

TunerWindow::TunerWindow(std::shared_ptr<WaveInService> service)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_engine(service ? std::move(service) : CreateSystemWaveIn()),
      // The clock starts ten seconds before the window so that a tracker holding from its
      // first frame finds the needle long faded, as if the hold had begun at time 500.
      m_nClockEpochMs(SteadyMs() - 10000) {
    setWindowTitle(m_strBaseTitle);
    setWindowIcon(TunerIcon());
    // The client area is exactly 300 x 380 whatever the frame around it; no sizing.
    setFixedSize(kClientWidth, kClientHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_surface = QImage(kClientWidth, kClientHeight, QImage::Format_RGB32);
}

TunerWindow::~TunerWindow() {
    m_bUnattendedExit = true; // no box from a destructor
    if (m_bCreated && !m_bDestroyed)
        OnDestroy();
    m_bClosing.store(true, std::memory_order_release);
    m_engine.Stop();
}

bool TunerWindow::Create() {
    // Step 2: the log lies in the current directory.
    m_errorLog.SetFileName(kErrorLogFileName);

    // Step 3: settings.
    ReadSettings();
    ReadSideSettings();
    m_bStrobe = m_settings.GetStrobeView();

    // Step 4: fonts.
    if (!CreateFonts())
        return false;

    // Step 5.
    m_strConcertA = QString::fromStdString(ConcertAButtonText(m_settings.GetConcertA()));

    // Step 6: the four buttons and the hint line.
    if (!CreateButtons())
        return false;

    // Step 7.
    m_bShowFps.store(false, std::memory_order_relaxed);

    // Step 8.
    for (QWidget* control : {static_cast<QWidget*>(m_strAButton), static_cast<QWidget*>(m_pOptions),
                             static_cast<QWidget*>(m_pHelp), static_cast<QWidget*>(m_pExit),
                             static_cast<QWidget*>(m_pHintLine)})
        control->setFont(m_mainFont);

    // Step 9.
    FillHints();

    // Steps 10 and 11: key selector and its label.
    if (!CreateKeySelector())
        return false;

    // Step 12: the logo, blended with the window's background. Missing, it ends the start
    // as an incomplete installation; damaged, it is only left out.
    std::string why;
    if (!m_logo.Load("TarvoLogo.bmp", "TarvoLogoOp.bmp", &why)) {
        std::error_code ec;
        const bool missing = !std::filesystem::exists("TarvoLogo.bmp", ec) ||
                             !std::filesystem::exists("TarvoLogoOp.bmp", ec);
        LogError("Unable to load the logo from TarvoLogo.bmp and TarvoLogoOp.bmp (" + why + ")" +
                 (missing ? "" : "; the tuner runs without it"));
        if (missing)
            return false;
    }
    const uint32_t face = surface::ToColorRef(palette().color(QPalette::Window).rgb());
    m_logo.BlendWith(face);
    m_surface.fill(surface::ToRgb(face));

    // Step 13.
    m_nCurrentHint = -1;
    m_nLeftArm = -1;
    m_nRightArm = -1;

    // Steps 14 and 15: the instruments in the scheme's colours, at rest until the first reading
    // (no energy, F#0 +00%, the grey needle). A gauge with missing artwork still works, it only
    // draws less.
    m_energyGauge.Create(10, 43, 40, 300);
    if (!LoadFineTuningArtwork(m_noteDisplay, m_needleGauge, {}, &why))
        LogError("Unable to load the gauge artwork (" + why +
                 "); that file and the ones loaded after it are left out of the gauge");
    m_shown = InstrumentReading{};
    for (Instrument* instrument : m_instruments) {
        instrument->TakeColors(m_settings.GetColors());
        instrument->TakeReading(m_shown, Now());
    }

    // Step 16: frame-update state, all before capture starts.
    m_nFpsStart = Now();
    m_nFrameCount = 0;
    m_nFocusCycle = 0;
    m_bPrevHold = true;
    m_bClosing.store(false, std::memory_order_release);
    m_fFadeDelay = 100.0;
    m_fHoldChangeTime = 500.0;
    m_fFadeDuration = 1500.0;
    m_bCreated = true;

    // Step 17.
    StartRecording();

    // Step 18.
    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kTimerPeriodMs);
    connect(m_pTimer, &QTimer::timeout, this, &TunerWindow::OnTimer);
    m_pTimer->start();

    // The newest reading reaches the instruments once per display refresh, however many frames
    // the capture thread analyses.
    m_pPaceTimer = new QTimer(this);
    m_pPaceTimer->setTimerType(Qt::PreciseTimer);
    m_pPaceTimer->setInterval(PacePeriodMs());
    connect(m_pPaceTimer, &QTimer::timeout, this, &TunerWindow::ShowNewestReading);
    m_pPaceTimer->start();

    // The window itself holds the keyboard focus at first; Tab leads into the controls.
    setFocus(Qt::OtherFocusReason);
    return true;
}

void TunerWindow::ReadSettings() {
    StateFileProblem problem;
    if (m_settings.ReadStateFile(kStateFileName, &problem))
        return;
    m_settings.ApplyDefaults();
    switch (problem.kind) {
    case StateFileProblem::Kind::Missing:
        LogError("Unable to open state.txt, using defaults.");
        return;
    case StateFileProblem::Kind::NotOpened:
        LogError("Unable to open state.txt (" + problem.why + "), using defaults.");
        return;
    case StateFileProblem::Kind::Unreadable:
        break;
    }
    // The file holds the user's tunings, colours and concert A, perhaps only slightly damaged.
    const std::string what = KeepUnreadable(kStateFileName, m_strSaveRefused);
    LogError("Unable to read state.txt (it opened, but " + problem.why + "), using defaults; " +
             what + ".");
}

// What state.txt has no field for. A missing side file (a first run) is no fault; one that cannot
// be read is reported and handled as state.txt is, apart from it.
void TunerWindow::ReadSideSettings() {
    const std::string name = kSideSettingsFileName;
    std::string why;
    switch (m_settings.extra.ReadFile(name, why)) {
    case safefile::ReadStatus::Read:
    case safefile::ReadStatus::Missing:
        return;
    case safefile::ReadStatus::NotOpened:
        LogError("Unable to open " + name + " (" + why + "), using defaults.");
        return;
    case safefile::ReadStatus::ReadFailed:
        break;
    }
    const std::string what = KeepUnreadable(name, m_strSideSaveRefused);
    LogError("Unable to read " + name + " (it opened, but " + why + "), using defaults; " + what +
             ".");
}

// A settings file that opened but could not be used is kept aside as NAME.bad before the save
// at exit replaces it, and never over an older copy. When it cannot be kept, `refused` says why
// the save must leave it as it is. Returns what was done, for the log.
std::string TunerWindow::KeepUnreadable(const std::string& fileName, std::string& refused) {
    const std::string kept = fileName + ".bad";
    std::string why;
    switch (safefile::KeepCopy(fileName, kept, why)) {
    case safefile::KeepStatus::Kept:
        return "it is kept as " + kept;
    case safefile::KeepStatus::AlreadyKept:
        return "it was kept as " + kept + " before";
    case safefile::KeepStatus::NotKept:
        break;
    }
    refused = fileName + " could not be read at start and " + why + "; it is left as it is";
    return "it cannot be kept aside (" + why + "), so it will not be replaced at exit";
}

bool TunerWindow::CreateFonts() {
    // The desktop's sans-serif face stands in for "MS Sans Serif"; the size keeps the text's
    // pixel height whatever the display's resolution.
    QFont probe = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    probe.setStyleHint(QFont::SansSerif);
    probe.setPointSize(8);
    const int height = QFontMetrics(probe, this).height();
    if (height <= 0) {
        LogError("Unable to create 80 point MS San Serif for main font");
        return false;
    }
    const int mainSize = MainFontSize(height);
    if (mainSize <= 0) {
        LogError("Unable to create 80 point MS San Serif for main font");
        return false;
    }
    m_mainFont = probe;
    m_mainFont.setPointSizeF(mainSize / 10.0);
    const int presetSize = PresetFontSize(mainSize);
    if (presetSize <= 0) {
        LogError("Unable to create 120 point MS San Serif for preset font");
        return false;
    }
    m_presetFont = probe;
    m_presetFont.setPointSizeF(presetSize / 10.0);
    return true;
}

bool TunerWindow::CreateButtons() {
    struct Button {
        HintButton** member;
        QString text;
        int id;
        QRect rect;
        const char* failure;
    };
    const Button buttons[] = {
        {&m_strAButton, m_strConcertA, IDC_CONCERT_A, Rect(10, 308, 75, 332),
         "Unable to create m_strAButton button"},
        {&m_pOptions, QStringLiteral("&Options"), IDC_OPTIONS, Rect(80, 308, 147, 332),
         "Unable to create Options button"},
        {&m_pHelp, QStringLiteral("&Help"), IDC_HELP, Rect(152, 308, 220, 332),
         "Unable to create Help button"},
        {&m_pExit, QStringLiteral("&Exit"), IDC_EXIT, Rect(225, 308, 290, 332),
         "Unable to create Exit button"},
    };
    for (const Button& b : buttons) {
        HintButton* button = new (std::nothrow) HintButton(b.text, b.id, this);
        if (!button) {
            LogError(b.failure);
            return false;
        }
        button->setGeometry(b.rect);
        *b.member = button;
    }
    connect(m_strAButton, &QPushButton::clicked, this, [this] { ShowConcertA(); });
    connect(m_pOptions, &QPushButton::clicked, this, [this] { ShowOptions(); });
    connect(m_pHelp, &QPushButton::clicked, this, [this] { OpenHelp(); });
    connect(m_pExit, &QPushButton::clicked, this, [this] { OnExit(); });

    m_pHintLine = new (std::nothrow) QLabel(this);
    if (!m_pHintLine) {
        LogError("Unable to create text hint static button");
        return false;
    }
    SetControlId(m_pHintLine, IDC_HINT);
    m_pHintLine->setGeometry(Rect(13, 343, 286, 372));
    m_pHintLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pHintLine->setWordWrap(true);
    return true;
}

bool TunerWindow::CreateKeySelector() {
    m_pKeySelector = new (std::nothrow) HintComboBox(IDC_KEY, this);
    if (!m_pKeySelector) {
        LogError("Unable to create the combo listbox");
        return false;
    }
    // (50, 10)-(110, 300) includes the open list; closed, the box is as tall as its font needs.
    m_pKeySelector->setMaxVisibleItems(kNoteCount);
    for (int i = 0; i < kNoteCount; ++i)
        m_pKeySelector->insertItem(i, QString::fromLatin1(kKeyNames[static_cast<size_t>(i)]));
    m_pKeySelector->setCurrentIndex(m_settings.GetKeyIndex());
    m_pKeySelector->SetCommandKeys({Qt::Key_O, Qt::Key_H, Qt::Key_E, Qt::Key_F, Qt::Key_S});
    connect(m_pKeySelector, &QComboBox::currentIndexChanged, this, &TunerWindow::OnKeySelected);

    m_pKeyLabel = new (std::nothrow) QLabel(QStringLiteral("Key:"), this);
    if (!m_pKeyLabel) {
        LogError("Unable to create Key text");
        return false;
    }
    SetControlId(m_pKeyLabel, IDC_KEY_LABEL);
    m_pKeyLabel->setGeometry(Rect(20, 13, 49, 30));
    m_pKeyLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pKeySelector->setFont(m_mainFont);
    m_pKeyLabel->setFont(m_mainFont);
    m_pKeySelector->setGeometry(50, 10, 110 - 50, m_pKeySelector->sizeHint().height());
    return true;
}

void TunerWindow::OnKeySelected(int index) {
    // The next frame is already transposed.
    if (index >= 0)
        m_settings.SetKeyIndex(index);
}

bool TunerWindow::StartRecording() {
    FindRememberedDevice(m_engine.Capture().Service(), m_settings, *this, m_strMissingDevice);
    const bool started =
        ::StartRecording(m_engine, m_settings, &TunerWindow::FrameCallback, this, *this);
    m_bRecorded = m_bRecorded || started;
    return started;
}

void TunerWindow::ShowWarning(const std::string& title, const std::string& text) {
    WarningBox(QString::fromStdString(title), QString::fromStdString(text));
}

void TunerWindow::LogError(const std::string& message) {
    m_errorLog.LogError(message);
}

void TunerWindow::WarningBox(const QString& title, const QString& text) {
    // Owned by the window once it is on screen, by nothing while it is still being created.
    QMessageBox::warning(isVisible() ? this : nullptr, title, text);
}

// --- paint ---------------------------------------------------------------------------------

void TunerWindow::OnPaint() {
    if (!m_bCreated || m_bDestroyed)
        return;
    const uint32_t face = surface::ToColorRef(palette().color(QPalette::Window).rgb());
    // A new system colour: new background and a logo blended with it.
    if (!m_lastButtonFace || *m_lastButtonFace != face) {
        m_lastButtonFace = face;
        m_surface.fill(surface::ToRgb(face));
        m_logo.BlendWith(face);
    }
    // One-pixel sunken frame of the hint line: shadow above and left, light below and right.
    QPainter painter(&m_surface);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const QRect f = kHintFrame;
    painter.fillRect(f.left(), f.top(), f.width(), 1, shadow);
    painter.fillRect(f.left(), f.top(), 1, f.height(), shadow);
    painter.fillRect(f.left(), f.bottom(), f.width(), 1, light);
    painter.fillRect(f.right(), f.top(), 1, f.height(), light);
    painter.end();
    m_logo.Draw(m_surface, kLogoX, kLogoY);
    DrawInstruments(true, Now());
    repaint();
}

void TunerWindow::paintEvent(QPaintEvent* event) {
    // Only copies the composed client area: the instruments draw into m_surface, never here.
    QPainter painter(this);
    for (const QRect& rect : event->region())
        painter.drawImage(rect.topLeft(), m_surface, rect);
}

QImage TunerWindow::Surface() const {
    return m_surface.copy();
}

void TunerWindow::OnTimer() {
    WatchForSilentDevice();
    OnPaint();
}

// A recording device that stops sending audio (unplugged, or its sound server gone) leaves the
// capture thread waiting and the frame update silent, so the last reading would stay on show
// as if it were live. Instead the instruments go to rest, as when nothing is heard, and the
// error log says why. Audio that comes back brings the frame update back with it.
void TunerWindow::WatchForSilentDevice() {
    const int64_t now = SteadyMs();
    const uint64_t taken = m_engine.Capture().GetStats().buffersTaken;
    if (m_nSilentDeviceLimitMs <= 0 || !m_engine.IsRunning() || isMinimized() ||
        taken != m_nLastBuffersTaken) {
        m_nLastBuffersTaken = taken;
        m_nLastBufferMs = now;
        m_bDeviceSilent = false;
        return;
    }
    if (m_bDeviceSilent || now - m_nLastBufferMs < m_nSilentDeviceLimitMs)
        return;
    m_bDeviceSilent = true;
    LogError("The recording device stopped sending audio");
    // No energy, and the grey a held reading fades to; the next reading shown puts the scheme's
    // colour back.
    InstrumentReading rest = m_shown;
    rest.level = 0.0f;
    rest.hold = true;
    rest.needleColor = kRestingNeedleColor;
    const uint32_t at = Now();
    GiveReading(rest, at);
    update(DrawInstruments(false, at));
}

void TunerWindow::OnColorsChanged() {
    if (!m_bCreated || m_bDestroyed)
        return;
    for (Instrument* instrument : m_instruments)
        instrument->TakeColors(m_settings.GetColors());
    update(DrawInstruments(true, Now()));
}

bool TunerWindow::Shown(const Instrument* instrument) const {
    return instrument != (m_bStrobe ? static_cast<const Instrument*>(&m_needleGauge)
                                    : static_cast<const Instrument*>(&m_strobeGauge));
}

// Every instrument takes every reading, shown or not, so that one switched in shows the present.
void TunerWindow::GiveReading(const InstrumentReading& reading, uint32_t now) {
    m_shown = reading;
    for (Instrument* instrument : m_instruments)
        instrument->TakeReading(reading, now);
}

QRect TunerWindow::DrawInstruments(bool full, uint32_t now) {
    QRect changed;
    for (Instrument* instrument : m_instruments)
        if (Shown(instrument))
            changed = changed.united(instrument->Draw(m_surface, full, now).Bounding());
    return changed;
}

void TunerWindow::ShowStrobe(bool on) {
    m_bStrobe = on;
    m_settings.SetStrobeView(on);
    m_hintTexts[2] = FineGaugeHint(on);
    if (m_nCurrentHint == 2 && m_pHintLine)
        m_pHintLine->setText(m_hintTexts[2]);
    if (m_bCreated && !m_bDestroyed)
        update(DrawInstruments(true, Now()));
}

// --- minimise, exit ------------------------------------------------------------------------

void TunerWindow::UpdatePause() {
    if (m_bCreated && !m_bDestroyed)
        m_engine.Capture().SetPaused(isMinimized());
}

void TunerWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        UpdatePause();
}

void TunerWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    UpdatePause();
}

void TunerWindow::OnExit() {
    if (m_bDestroyed)
        return;
    m_bClosing.store(true, std::memory_order_release);
    m_engine.Stop();
    std::this_thread::yield();
    DestroyWindow();
}

void TunerWindow::closeEvent(QCloseEvent* event) {
    if (!m_bDestroyed) {
        m_bClosing.store(true, std::memory_order_release);
        m_engine.Stop();
        std::this_thread::yield();
        DestroyWindow();
    }
    event->accept();
}

void TunerWindow::DestroyWindow() {
    if (m_bDestroyed)
        return;
    if (m_bCreated)
        OnDestroy();
    m_bDestroyed = true;
    if (m_pTimer)
        m_pTimer->stop();
    if (m_pPaceTimer)
        m_pPaceTimer->stop();
    hide();
    emit WindowDestroyed();
}

void TunerWindow::OnDestroy() {
    m_bDestroyed = true;
    // A run that never recorded has no hop of its own: the stored one stays.
    if (m_bRecorded)
        m_settings.SetAnalysisHop(static_cast<float>(m_engine.GetHop()));
    m_bClosing.store(true, std::memory_order_release);
    m_engine.Stop();
    // A selector without a selection keeps the key the settings hold.
    if (m_pKeySelector && m_pKeySelector->currentIndex() >= 0)
        m_settings.SetKeyIndex(m_pKeySelector->currentIndex());
    std::string why = m_strSaveRefused;
    if (why.empty() && m_settings.WriteStateFile(kStateFileName, &why))
        why.clear();
    // The side file is saved whatever became of state.txt, and the other way round.
    SaveSideSettings();
    if (!why.empty())
        ReportFailedSave(why);
}

// A side file that cannot be saved loses only what it holds (the recording device's name; the
// device's place in the list is in state.txt): the log and standard error say so, no box.
void TunerWindow::SaveSideSettings() {
    std::string why = m_strSideSaveRefused;
    if (why.empty() && m_settings.extra.WriteFile(kSideSettingsFileName, why))
        return;
    LogError(std::string("Unable to save ") + kSideSettingsFileName + ": " + why);
    std::fprintf(stderr, "tarvo-tuner: unable to save %s: %s\n", kSideSettingsFileName,
                 why.c_str());
}

// A save that failed loses the session's changes: say so in the log (which may not be writable
// either), on standard error, and, when someone is there to read it, in a box. Not for a
// state.txt that links to a device or directory: that is how a user stops the saving on purpose.
void TunerWindow::ReportFailedSave(const std::string& why) {
    LogError("Unable to save state.txt: " + why);
    std::fprintf(stderr, "tarvo-tuner: unable to save state.txt: %s\n", why.c_str());
    std::error_code ec;
    const bool redirected = std::filesystem::is_symlink(kStateFileName, ec) &&
                            std::filesystem::exists(kStateFileName, ec) &&
                            !std::filesystem::is_regular_file(kStateFileName, ec);
    if (m_bUnattendedExit || redirected)
        return;
    WarningBox(QStringLiteral("Settings not saved"),
               QStringLiteral("The settings could not be saved to state.txt:\n%1\n\nThe changes "
                              "made since the tuner started are lost.")
                   .arg(QString::fromStdString(why)));
}

bool TunerWindow::CaptureAbandoned() const {
    return m_engine.Capture().GetStats().abandonedThreads > 0;
}

// --- dialogs -------------------------------------------------------------------------------

WindowActions TunerWindow::Actions() {
    WindowActions actions;
    actions.setConcertAText = [this](const QString& text) {
        m_strConcertA = text;
        m_strAButton->setText(text);
    };
    actions.setEngineConcertA = [this](float hz) { m_engine.SetConcertA(hz); };
    actions.colorsChanged = [this] { OnColorsChanged(); };
    actions.restartRecording = [this] {
        m_engine.Stop();
        StartRecording();
    };
    actions.recordingSilent = [this] { return m_bDeviceSilent; };
    return actions;
}

void TunerWindow::ShowConcertA() {
    RunConcertADialog(this, m_settings, Actions());
}

void TunerWindow::ShowOptions() {
    // The page selects the remembered device where the list has it now.
    FindRememberedDevice(m_engine.Capture().Service(), m_settings, *this, m_strMissingDevice);
    RunOptionsSheet(this, m_settings, Actions(), m_engine.Capture().Service().DeviceList());
}

// --- clock ---------------------------------------------------------------------------------

uint32_t TunerWindow::Now() const {
    if (m_bFakeTime.load(std::memory_order_acquire))
        return m_nFakeTime.load(std::memory_order_acquire);
    return static_cast<uint32_t>(SteadyMs() - m_nClockEpochMs);
}

void TunerWindow::SetFakeTime(std::optional<uint32_t> ms) {
    if (ms)
        m_nFakeTime.store(*ms, std::memory_order_release);
    m_bFakeTime.store(ms.has_value(), std::memory_order_release);
}
