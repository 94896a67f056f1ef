// The frame update: runs on the capture thread after every analysed frame and turns the twelve
// results into a tracked reading; the window thread shows the newest reading once per display
// refresh and repaints what changed.

#include "app/FrameUpdate.h"

#include "analysis/FramePipeline.h"
#include "app/TunerWindow.h"
#include "model/Notes.h"

#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

int PercentFromCents(float cents) {
    if (!std::isfinite(cents))
        return 0;
    const float percent = std::floor(cents);
    return static_cast<int>(std::clamp(percent, -99.0f, 99.0f));
}

uint32_t FadeNeedleColor(uint32_t color, double elapsedMs, double delayMs, double durationMs) {
    if (elapsedMs < delayMs)
        return color;
    double f = durationMs > 0.0 ? (elapsedMs - delayMs) / durationMs : 1.0;
    f = std::min(f, 1.0);
    uint32_t faded = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int c = static_cast<int>((color >> shift) & 0xFF);
        // trunc() toward zero, as the channel moves either up or down to 160.
        const int moved = c + static_cast<int>(std::trunc((160 - c) * f));
        faded |= static_cast<uint32_t>(std::clamp(moved, 0, 255)) << shift;
    }
    return faded;
}

std::array<float, 4> BandCents(const PitchResult& reading,
                               const std::array<float, kHarmonicsFound>& harmonics,
                               float concertA) {
    std::array<float, 4> cents;
    cents.fill(InstrumentReading::kAbsent);
    const double note =
        concertA * std::exp2((12.0 * reading.octave + reading.note - 57.0) / 12.0); // A4 = 0
    if (!(note > 0.0) || !std::isfinite(note))
        return cents;
    for (int k = 1; k <= 4; ++k) {
        const float f = k == 1 ? reading.frequency : harmonics[static_cast<size_t>(k - 2)];
        if (f > 0.0f && std::isfinite(f))
            cents[static_cast<size_t>(k - 1)] =
                static_cast<float>(1200.0 * std::log2(f / (k * note)));
    }
    return cents;
}

QString FpsTitle(const QString& base, double fps) {
    char text[48];
    std::snprintf(text, sizeof text, " (%.0f fps)", fps);
    return base + QString::fromLatin1(text);
}

int MainFontSize(int pixelHeight) {
    if (pixelHeight <= 0)
        return 0;
    return static_cast<int>(144.0 / pixelHeight * 7.0);
}

int PresetFontSize(int mainSize) {
    return static_cast<int>(mainSize * 1.5);
}

// --- TunerWindow's frame update (capture thread) --------------------------------------------

void TunerWindow::FrameCallback(void* window) {
    static_cast<TunerWindow*>(window)->OnFrame();
}

void TunerWindow::OnFrame() {
    ProcessFrame(m_engine.GetResults(), static_cast<float>(m_engine.GetHop()),
                 m_engine.GetSampleRate(), m_engine.GetInputLevel(), m_engine.GetPeaks());
}

void TunerWindow::ProcessFrame(const PitchResult* results, float hop, int sampleRate,
                               float inputLevel, const FramePeaks& peaks) {
    if (m_bClosing.load(std::memory_order_acquire))
        return;

    const FrameReading frame = TrackFrame(m_tracker, results, hop, sampleRate, inputLevel);
    const uint32_t now = Now();
    if (frame.hold != m_bPrevHold)
        m_fHoldChangeTime = now;
    m_bPrevHold = frame.hold;

    ++m_nFrameCount;
    if (m_bShowFps.load(std::memory_order_relaxed)) {
        const uint32_t span = now - m_nFpsStart;
        if (span > 1000) {
            m_tracked.fps = static_cast<double>(m_nFrameCount) / span * 1000.0;
            ++m_tracked.rateCount;
            m_nFpsStart = now;
            m_nFrameCount = 0;
        }
    }
    m_tracked.reading = frame.reading;
    m_tracked.averageInputLevel = frame.averageInputLevel;
    m_tracked.hold = frame.hold;
    m_tracked.holdChangeTime = m_fHoldChangeTime;
    m_tracked.harmonics = FindHarmonics(peaks, frame.reading.frequency);
    m_newest.Publish(m_tracked);
    std::this_thread::yield();
}

// --- TunerWindow's screen-paced update (window thread) -----------------------------------------

bool TunerWindow::ShowNewestReading() {
    if (!m_bCreated || m_bDestroyed || m_bClosing.load(std::memory_order_acquire))
        return false;
    const uint32_t now = Now();
    TrackedFrame f;
    const bool fresh = m_newest.Take(f);
    if (fresh) {
        InstrumentReading r;
        const ::ShownNote shown =
            Transpose(f.reading.note, f.reading.octave, m_settings.GetKeyIndex());
        r.note = shown.note;
        r.octave = shown.octave;
        r.percent = PercentFromCents(f.reading.cents);
        r.level = f.averageInputLevel;
        r.hold = f.hold;
        r.needleColor = NeedleColorAt(now, f.hold, f.holdChangeTime);
        r.bandCents = BandCents(f.reading, f.harmonics, m_settings.GetConcertA());
        m_nShownPercent = r.percent;
        m_nShownNote = shown.note;
        m_nShownOctave = std::clamp(shown.octave, 0, 9);
        GiveReading(r, now);
        // A rate measured just before the display was switched off is not shown.
        if (f.rateCount != m_nRateCount) {
            m_nRateCount = f.rateCount;
            if (m_bShowFps.load(std::memory_order_relaxed))
                setWindowTitle(FpsTitle(m_strBaseTitle, f.fps));
        }
    }
    // Drawn at every refresh: what moves with time moves between readings too.
    const QRect changed = DrawInstruments(false, now);
    if (!changed.isEmpty())
        update(changed);
    if (!fresh)
        return false;
    ++m_nReadingsShown;
    emit ReadingShown();
    return true;
}

int TunerWindow::PacePeriodMs() const {
    // A screen that does not say (or says nonsense) is taken as the common 60 Hz.
    const QScreen* s = screen();
    double hz = s != nullptr ? s->refreshRate() : 0.0;
    if (!(hz >= 10.0 && hz <= 1000.0))
        hz = 60.0;
    // Rounded up: never more than one update per refresh.
    return static_cast<int>(std::ceil(1000.0 / hz));
}

void TunerWindow::PaceToScreen() {
    if (m_pPaceTimer != nullptr)
        m_pPaceTimer->setInterval(PacePeriodMs());
}

void TunerWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window's platform window exists from its first showing on: follow it to other
    // screens from then on.
    if (!m_bPacedToScreen && windowHandle() != nullptr) {
        m_bPacedToScreen = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { PaceToScreen(); });
    }
    PaceToScreen();
}

uint32_t TunerWindow::NeedleColorAt(uint32_t now, bool hold, double holdChangeTime) const {
    const uint32_t needle = m_settings.GetNeedleColor();
    if (!hold)
        return needle;
    return FadeNeedleColor(needle, static_cast<double>(now) - holdChangeTime, m_fFadeDelay,
                           m_fFadeDuration);
}
