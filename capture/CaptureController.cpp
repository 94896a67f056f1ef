#include "capture/CaptureController.h"

#include "analysis/FramePipeline.h"
#include "capture/AutoResetEvent.h"
#include "capture/CRecorder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <limits>
#include <optional>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDataWaitMs = 1000;
constexpr int kPauseSleepMs = 40;
constexpr int kStopSleepMs = 50;
// How long a stop waits for a thread that has left its loop and is only letting go of the
// device. Stopping and closing a working device takes a few milliseconds; one that hangs there
// (a stalled sound server, a pipe nobody writes to) would otherwise hold the window for the
// whole stop time-out.
constexpr int kCloseGraceMs = 1000;
// Buffers are allocated and the device opened well within this; a device whose open hangs
// longer counts as unusable.
constexpr int kSetUpWaitMs = 5000;

constexpr int kExitSetUpFailed = -1;
constexpr int kExitStopped = -3;

uint64_t ThreadCpuNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

// The largest hop the thread takes: the audio its ring of buffers holds beyond one buffer.
int MaxHop(const CaptureSettings& s) {
    const int64_t ring = static_cast<int64_t>(s.nBuffers - 1) * s.nBufferLength;
    return static_cast<int>(std::clamp<int64_t>(ring, 1, std::numeric_limits<int>::max()));
}

// The smallest: frames closer together than the floor read no better and only cost CPU.
int MinHop(const CaptureSettings& s) {
    return std::min(HopFloor(s.nSampleRate), MaxHop(s));
}

} // namespace

struct CaptureController::Shared {
    std::atomic<bool> paused{false};
    std::atomic<bool> adaptiveHop{false};
    std::atomic<int32_t> hop{128};
    std::atomic<CaptureFrameCallback> callback{nullptr};
    std::atomic<void*> callbackData{nullptr};

    std::atomic<uint64_t> waits{0}, collects{0}, buffersTaken{0}, framesAnalysed{0},
        framesSkipped{0}, pauseSleeps{0}, threadCpuNs{0}, abandoned{0};
};

struct CaptureController::Run {
    std::shared_ptr<WaveInService> service;
    std::shared_ptr<Shared> shared;
    std::shared_ptr<void> keepAlive; // what the callback uses
    CaptureSettings settings;        // read once at the thread's start
    float* frame = nullptr;

    std::atomic<bool> running{false};
    std::atomic<int> setUp{0}; // 0 pending, 1 done, -1 failed
    AutoResetEvent setUpEvent;
    std::atomic<bool> leftLoop{false}; // past analysing: stopping and closing the device
    std::atomic<bool> finished{false};
    AutoResetEvent doneEvent;
    std::atomic<int> exitCode{0};
};

namespace {

using Shared = CaptureController::Shared;
using Run = CaptureController::Run;

void Finish(Run& run, int code) {
    run.exitCode.store(code, std::memory_order_relaxed);
    run.finished.store(true, std::memory_order_release);
    run.doneEvent.Set();
}

void ReportSetUp(Run& run, bool ok) {
    run.setUp.store(ok ? 1 : -1, std::memory_order_release);
    run.setUpEvent.Set();
}

void LowerPriority() {
    // One step below normal; on Linux a thread's nice value is its own.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        setpriority(PRIO_PROCESS, tid, nice + 1);
}

// Signed 16-bit samples to floats holding the same integer values.
void Convert(const WaveHeader* buffer, int from, int count, float* dst) {
    const auto* src = reinterpret_cast<const int16_t*>(buffer->lpData) + from;
    for (int i = 0; i < count; ++i)
        dst[i] = static_cast<float>(src[i]);
}

int CaptureThread(std::shared_ptr<Run> runPtr) {
    Run& run = *runPtr;
    Shared& sh = *run.shared;
    LowerPriority();

    CRecorder recorder(*run.service);
    const int N = run.settings.nBuffers;
    const int B = run.settings.nBufferLength;
    recorder.SetBufferCount(N);
    if (N <= 0 || !recorder.AllocateBuffers(2 * B)) {
        recorder.FreeBuffers();
        ReportSetUp(run, false);
        return kExitSetUpFailed;
    }
    const WaveFormat format = MakeWaveFormat(1, run.settings.nSampleRate, 16);
    if (!recorder.Open(format, run.settings.nDevice)) {
        recorder.FreeBuffers();
        ReportSetUp(run, false);
        return kExitSetUpFailed;
    }
    recorder.QueueAllBuffers();

    const int F = run.settings.nFrameLength;
    float hop = static_cast<float>(run.settings.nHop);
    float start = 0.0f;
    float end = static_cast<float>(F);
    int held = 0, D = 0, C = 0;
    bool empty = true;
    int waitRun = 0;
    bool lastLagged = false;
    std::vector<WaveHeader*> heldBuffers(static_cast<size_t>(N), nullptr);
    float* const frame = run.frame;

    enum class Step { Collect, Analyse, Recycle } step = Step::Collect;

    recorder.ResetDataEvent();
    recorder.Start();
    ReportSetUp(run, true);

    const float minHop = static_cast<float>(MinHop(run.settings));
    const float maxHop = static_cast<float>(MaxHop(run.settings));
    auto setHop = [&](float h) {
        hop = h < minHop ? minHop : h > maxHop ? maxHop : h;
        sh.hop.store(static_cast<int32_t>(hop), std::memory_order_relaxed);
    };

    while (run.running.load(std::memory_order_acquire)) {
        switch (step) {
        case Step::Collect: {
            if (recorder.GetReadyCount() == 0) {
                if (sh.adaptiveHop.load(std::memory_order_relaxed)) {
                    float h = hop;
                    if (lastLagged) {
                        waitRun = 0;
                    } else if (++waitRun > 40) {
                        h *= 0.9f;
                    }
                    setHop(h * 0.995f);
                    lastLagged = false;
                }
                sh.threadCpuNs.store(ThreadCpuNanoseconds(), std::memory_order_relaxed);
                // Counted after the hop is stored, so an observer that sees the count sees it.
                sh.waits.fetch_add(1, std::memory_order_release);
                recorder.ResetDataEvent();
                // A buffer handed back between the count and the reset would otherwise wait
                // for the full time-out: look again before sleeping.
                if (recorder.GetReadyCount() == 0 && !recorder.WaitForData(kDataWaitMs))
                    break;
            } else {
                sh.collects.fetch_add(1, std::memory_order_relaxed);
                if (sh.adaptiveHop.load(std::memory_order_relaxed)) {
                    setHop(hop * 1.005f);
                    lastLagged = true;
                }
            }
            int k = recorder.GetReadyCount();
            if (k > N - held)
                k = N - held;
            if (k > 0) {
                empty = false;
                for (int i = 0; i < k; ++i) {
                    heldBuffers[static_cast<size_t>(C)] = recorder.GetBuffer(C);
                    recorder.TakeReady();
                    C = (C + 1) % N;
                }
                sh.buffersTaken.fetch_add(static_cast<uint64_t>(k), std::memory_order_relaxed);
            }
            held = (C - D + N) % N;
            if (C == D && !empty)
                held = N;
            step = Step::Recycle;
            break;
        }
        case Step::Analyse: {
            if (recorder.GetReadyCount() > 0) {
                sh.framesSkipped.fetch_add(1, std::memory_order_relaxed);
            } else {
                const int e = static_cast<int>(end);
                const int s = static_cast<int>(start);
                const int w = e / B;
                if (w == 0) {
                    Convert(heldBuffers[static_cast<size_t>(D)], s, std::min(e - s, F), frame);
                } else {
                    int written = std::min(B - s, F);
                    Convert(heldBuffers[static_cast<size_t>(D)], s, written, frame);
                    for (int i = 1; i < w && written < F; ++i) {
                        const int n = std::min(B, F - written);
                        Convert(heldBuffers[static_cast<size_t>((D + i) % N)], 0, n,
                                frame + written);
                        written += n;
                    }
                    if (written < F)
                        Convert(heldBuffers[static_cast<size_t>((D + w) % N)], 0, F - written,
                                frame + written);
                }
                // No callback may begin once a stop has been asked for, so a thread the stop
                // had to abandon never calls into a destroyed window.
                if (run.running.load(std::memory_order_seq_cst)) {
                    if (CaptureFrameCallback cb = sh.callback.load(std::memory_order_acquire))
                        cb(sh.callbackData.load(std::memory_order_acquire));
                    sh.framesAnalysed.fetch_add(1, std::memory_order_relaxed);
                }
            }
            start += hop;
            end += hop;
            step = Step::Recycle;
            break;
        }
        case Step::Recycle: {
            int k = static_cast<int>(start) / B;
            if (k > held)
                k = held;
            for (int i = 0; i < k; ++i) {
                recorder.PrepareHeader(heldBuffers[static_cast<size_t>(D)]);
                recorder.AddBuffer(heldBuffers[static_cast<size_t>(D)]);
                heldBuffers[static_cast<size_t>(D)] = nullptr;
                start -= static_cast<float>(B);
                end -= static_cast<float>(B);
                if (--held == 0)
                    empty = true;
                D = (D + 1) % N;
            }
            step = static_cast<int>(end) / B + 1 <= held ? Step::Analyse : Step::Collect;
            break;
        }
        }

        bool leave = false;
        while (sh.paused.load(std::memory_order_acquire)) {
            if (!run.running.load(std::memory_order_acquire)) {
                leave = true;
                break;
            }
            sh.pauseSleeps.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(kPauseSleepMs));
        }
        if (leave)
            break;
    }

    run.leftLoop.store(true, std::memory_order_release);
    recorder.Stop();
    for (int i = 0; i < held; ++i) {
        recorder.PrepareHeader(heldBuffers[static_cast<size_t>(D)]);
        recorder.AddBuffer(heldBuffers[static_cast<size_t>(D)]);
        D = (D + 1) % N;
    }
    recorder.Reset();
    recorder.Close();
    recorder.FreeBuffers();
    sh.threadCpuNs.store(ThreadCpuNanoseconds(), std::memory_order_relaxed);
    return kExitStopped;
}

} // namespace

CaptureController::CaptureController(std::shared_ptr<WaveInService> service)
    : m_service(service ? std::move(service) : CreatePortAudioWaveIn()),
      m_shared(std::make_shared<Shared>()) {}

CaptureController::~CaptureController() {
    if (IsRunning())
        Stop();
    if (m_pThread) {
        // Only a thread that never reported its set-up can remain; it holds its own state.
        m_pThread->detach();
        m_pThread.reset();
    }
}

void CaptureController::SetCallback(CaptureFrameCallback callback, void* data,
                                    std::shared_ptr<void> keepAlive) {
    m_shared->callbackData.store(data, std::memory_order_release);
    m_shared->callback.store(callback, std::memory_order_release);
    m_keepAlive = std::move(keepAlive);
}

void CaptureController::SetDevice(int device) {
    m_settings.nDevice = device;
}
void CaptureController::SetSampleRate(int rate) {
    m_settings.nSampleRate = rate;
}
void CaptureController::SetBufferLength(int samples) {
    m_settings.nBufferLength = samples;
}
void CaptureController::SetFrameLength(int samples) {
    m_settings.nFrameLength = samples;
}
void CaptureController::SetHop(int hop) {
    m_shared->hop.store(hop, std::memory_order_relaxed);
}
int CaptureController::GetHop() const {
    return m_shared->hop.load(std::memory_order_relaxed);
}

std::shared_ptr<const std::atomic<int32_t>> CaptureController::HopCell() const {
    return std::shared_ptr<const std::atomic<int32_t>>(m_shared, &m_shared->hop);
}

void CaptureController::SetAdaptiveHop(bool on) {
    m_shared->adaptiveHop.store(on, std::memory_order_release);
}
bool CaptureController::GetAdaptiveHop() const {
    return m_shared->adaptiveHop.load(std::memory_order_acquire);
}
void CaptureController::SetPaused(bool paused) {
    m_shared->paused.store(paused, std::memory_order_release);
}
void CaptureController::SetFrameBuffer(float* frame) {
    m_pFrameBuffer = frame;
}

bool CaptureController::IsRunning() const {
    return m_run && m_run->running.load(std::memory_order_acquire);
}

CaptureSettings CaptureController::GetSettings() const {
    CaptureSettings s = m_settings;
    s.nHop = GetHop();
    return s;
}

CaptureStats CaptureController::GetStats() const {
    const Shared& sh = *m_shared;
    CaptureStats s;
    s.waits = sh.waits.load(std::memory_order_acquire);
    s.collects = sh.collects.load(std::memory_order_relaxed);
    s.buffersTaken = sh.buffersTaken.load(std::memory_order_relaxed);
    s.framesAnalysed = sh.framesAnalysed.load(std::memory_order_relaxed);
    s.framesSkipped = sh.framesSkipped.load(std::memory_order_relaxed);
    s.pauseSleeps = sh.pauseSleeps.load(std::memory_order_relaxed);
    s.threadCpuNs = sh.threadCpuNs.load(std::memory_order_relaxed);
    s.abandonedThreads = sh.abandoned.load(std::memory_order_relaxed);
    return s;
}

int CaptureController::StopTimeout() const {
    if (m_nStopTimeoutOverride > 0)
        return m_nStopTimeoutOverride;
    const int64_t ms = (static_cast<int64_t>(GetHop()) + 500) * 20;
    return static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
}

bool CaptureController::Start() {
    if (IsRunning())
        Stop();
    if (m_pThread)
        return false;
    // The thread could never hold enough audio for one frame, or would divide by zero.
    const CaptureSettings& s = m_settings;
    if (s.nBuffers < 2 || s.nBuffers > CRecorder::kMaxBuffers || s.nBufferLength <= 0 ||
        s.nFrameLength <= 0 || s.nFrameLength > (s.nBuffers - 1) * s.nBufferLength ||
        m_pFrameBuffer == nullptr)
        return false;

    auto run = std::make_shared<Run>();
    run->service = m_service;
    run->shared = m_shared;
    run->keepAlive = m_keepAlive;
    run->settings = GetSettings();
    // A hop below the floor reads no better and costs more, one past the ring would only throw
    // audio away. A saved hop is brought into range (a damaged settings file can hold any
    // number, and an older one a hop adapted below today's floor).
    run->settings.nHop =
        std::clamp(run->settings.nHop, MinHop(run->settings), MaxHop(run->settings));
    SetHop(run->settings.nHop);
    run->frame = m_pFrameBuffer;
    run->running.store(true, std::memory_order_release);
    try {
        m_pThread = std::make_unique<std::thread>([run] { Finish(*run, CaptureThread(run)); });
    } catch (const std::system_error&) {
        return false;
    }
    m_run = run;

    // Learn whether buffers and device are in place before calling the start a success.
    run->setUpEvent.Wait(kSetUpWaitMs);
    const int setUp = run->setUp.load(std::memory_order_acquire);
    if (setUp == 1)
        return true;
    if (setUp == -1) {
        Stop(); // the thread has ended or is about to
    } else {
        // The device open hangs: give the thread up rather than wait any longer.
        run->running.store(false, std::memory_order_seq_cst);
        Abandon();
    }
    return false;
}

void CaptureController::Abandon() {
    // A thread cannot be killed safely: let it go. It owns its recorder, buffers and state,
    // and no frame callback begins once its run flag is clear.
    m_pThread->detach();
    m_pThread.reset();
    m_run.reset();
    m_shared->abandoned.fetch_add(1, std::memory_order_relaxed);
}

bool CaptureController::Stop() {
    if (!m_pThread || !m_run)
        return true;
    Run& run = *m_run;
    run.running.store(false, std::memory_order_seq_cst);
    // A thread that ended on its own (set-up failure) needs no grace period.
    if (!run.finished.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kStopSleepMs));
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(StopTimeout());
        std::optional<Clock::time_point> closingSince;
        while (!run.finished.load(std::memory_order_acquire)) {
            const auto now = Clock::now();
            if (run.leftLoop.load(std::memory_order_acquire) && !closingSince)
                closingSince = now;
            const bool closeHangs =
                closingSince && now - *closingSince >= std::chrono::milliseconds(kCloseGraceMs);
            if (now >= deadline || closeHangs) {
                Abandon();
                return true;
            }
            // In short steps, to notice when the thread reaches the device's stop and close.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            run.doneEvent.Wait(static_cast<int>(std::min<int64_t>(left.count() + 1, 100)));
        }
    }
    m_pThread->join();
    m_pThread.reset();
    m_run.reset();
    return true;
}
