// The frame update: runs on the capture thread after every analysed frame and turns the twelve
// results into what the instruments show; the window thread then repaints what changed.

#include "app/FrameUpdate.h"

#include "analysis/FramePipeline.h"
#include "app/TunerWindow.h"
#include "model/Notes.h"

#include <QMetaObject>

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

// --- TunerWindow's frame update ------------------------------------------------------------

void TunerWindow::FrameCallback(void* window) {
    static_cast<TunerWindow*>(window)->OnFrame();
}

void TunerWindow::OnFrame() {
    ProcessFrame(m_engine.GetResults(), static_cast<float>(m_engine.GetHop()),
                 m_engine.GetSampleRate(), m_engine.GetInputLevel());
}

void TunerWindow::ProcessFrame(const PitchResult* results, float hop, int sampleRate,
                               float inputLevel) {
    if (m_bClosing.load(std::memory_order_acquire))
        return;

    const FrameReading frame = TrackFrame(m_tracker, results, hop, sampleRate, inputLevel);
    const PitchResult& reading = frame.reading;
    const bool hold = frame.hold;
    const uint32_t now = Now();
    const int percent = PercentFromCents(reading.cents);
    const ::ShownNote shown = Transpose(reading.note, reading.octave, m_settings.GetKeyIndex());

    QRect changed;
    {
        // Setters and incremental draws of one frame never interleave with a full redraw.
        std::lock_guard<std::mutex> lock(m_drawLock);
        m_fineGauge.SetPercent(percent);
        m_fineGauge.SetNote(shown.note);
        m_fineGauge.SetOctave(shown.octave);
        m_nShownPercent.store(percent, std::memory_order_relaxed);
        m_nShownNote.store(shown.note, std::memory_order_relaxed);
        m_nShownOctave.store(std::clamp(shown.octave, 0, 9), std::memory_order_relaxed);
        m_energyGauge.SetLevel(frame.averageInputLevel);

        if (hold != m_bPrevHold)
            m_fHoldChangeTime = now;
        m_bPrevHold = hold;

        if (m_bClosing.load(std::memory_order_acquire))
            return;
        changed = m_energyGauge.Draw(m_surface, false).Bounding();

        if (m_bClosing.load(std::memory_order_acquire))
            return;
        const uint32_t needle = NeedleColorAt(now);
        const bool have = m_bHaveNeedleColor.load(std::memory_order_relaxed);
        if (!have || needle != m_lastNeedleColor.load(std::memory_order_relaxed)) {
            m_fineGauge.SetNeedleColor(needle);
            changed = changed.united(m_fineGauge.Draw(m_surface, false, true).Bounding());
            m_lastNeedleColor.store(needle, std::memory_order_relaxed);
            m_bHaveNeedleColor.store(true, std::memory_order_release);
        } else {
            changed = changed.united(m_fineGauge.Draw(m_surface, false, false).Bounding());
        }
    }
    if (m_bClosing.load(std::memory_order_acquire))
        return;

    ++m_nFrameCount;
    bool retitle = false;
    double fps = 0.0;
    if (m_bShowFps.load(std::memory_order_relaxed)) {
        const uint32_t t = now;
        const uint32_t span = t - m_nFpsStart;
        if (span > 1000) {
            fps = static_cast<double>(m_nFrameCount) / span * 1000.0;
            retitle = true;
            m_nFpsStart = t;
            m_nFrameCount = 0;
        }
    }
    m_nFramesUpdated.fetch_add(1, std::memory_order_relaxed);
    RequestFlush(changed, retitle ? std::optional<double>(fps) : std::nullopt);
    std::this_thread::yield();
}

uint32_t TunerWindow::NeedleColorAt(uint32_t now) const {
    const uint32_t needle = m_settings.GetNeedleColor();
    if (!m_bPrevHold)
        return needle;
    return FadeNeedleColor(needle, static_cast<double>(now) - m_fHoldChangeTime, m_fFadeDelay,
                           m_fFadeDuration);
}

std::optional<uint32_t> TunerWindow::LastNeedleColor() const {
    if (!m_bHaveNeedleColor.load(std::memory_order_acquire))
        return std::nullopt;
    return m_lastNeedleColor.load(std::memory_order_relaxed);
}

void TunerWindow::RequestFlush(const QRect& changed, std::optional<double> fps) {
    {
        std::lock_guard<std::mutex> lock(m_drawLock);
        m_dirty = m_dirty.united(changed);
        if (fps) {
            m_bTitlePending = true;
            m_fPendingFps = *fps;
        }
        if (m_dirty.isEmpty() && !m_bTitlePending)
            return;
    }
    // One queued call, carrying no data, stands for every frame until the window thread runs
    // it; the capture thread never waits for the window thread.
    if (!m_bFlushPending.exchange(true, std::memory_order_acq_rel))
        QMetaObject::invokeMethod(this, "FlushFrame", Qt::QueuedConnection);
}

void TunerWindow::FlushFrame() {
    m_bFlushPending.store(false, std::memory_order_release);
    QRect dirty;
    bool retitle = false;
    double fps = 0.0;
    {
        std::lock_guard<std::mutex> lock(m_drawLock);
        dirty = m_dirty;
        m_dirty = QRect();
        retitle = m_bTitlePending;
        fps = m_fPendingFps;
        m_bTitlePending = false;
    }
    if (m_bDestroyed)
        return;
    // A rate measured just before the display was switched off is not shown.
    if (retitle && m_bShowFps.load(std::memory_order_relaxed))
        setWindowTitle(FpsTitle(m_strBaseTitle, fps));
    if (!dirty.isEmpty())
        update(dirty);
}
