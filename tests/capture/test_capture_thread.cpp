// The capture thread on the simulated service: slot order, held count, frame assembly,
// skipping, hop adaptation, pause, stop and set-up failures.

#include "CaptureTestUtil.h"
#include "capture/CaptureController.h"
#include "capture/SimulatedWaveIn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr int kRamp = 30000;
constexpr int N = CaptureSettings{}.nBuffers; // the ring: 320 buffers, here of 1024 samples
constexpr long B = 1024;                      // also the frame length

// Records where every analysed frame starts in the stream (ramp signal) and whether its
// samples are contiguous.
struct FrameLog {
    std::mutex mutex;
    std::vector<long> starts;
    int broken = 0;
    std::vector<float> frame;
    std::function<void(int)> onFrame; // runs on the capture thread, with the frame index

    static int Callback(void* self) {
        auto* log = static_cast<FrameLog*>(self);
        int index;
        {
            std::lock_guard lock(log->mutex);
            const float* f = log->frame.data();
            for (int i = 1; i < B; ++i)
                if (std::fmod(f[i - 1] + 1.0f, static_cast<float>(kRamp)) != f[i]) {
                    ++log->broken;
                    break;
                }
            log->starts.push_back(static_cast<long>(f[0]));
            index = static_cast<int>(log->starts.size()) - 1;
        }
        if (log->onFrame)
            log->onFrame(index);
        return 0;
    }
    std::vector<long> Starts() {
        std::lock_guard lock(mutex);
        return starts;
    }
};

class CaptureThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_shared<SimulatedWaveIn>();
        sim->SetSource(std::make_shared<RampSource>(kRamp));
        controller = std::make_unique<CaptureController>(sim);
        log.frame.assign(1024 + 2, 0.0f);
        controller->SetCallback(&FrameLog::Callback, &log);
        controller->SetFrameBuffer(log.frame.data());
    }
    void TearDown() override {
        if (controller)
            controller->Stop();
    }
    // The thread is blocked in its `n`-th data wait.
    bool WaitForWaits(uint64_t n) {
        return WaitFor([&] { return controller->GetStats().waits >= n; });
    }

    std::shared_ptr<SimulatedWaveIn> sim;
    std::unique_ptr<CaptureController> controller;
    FrameLog log;
};

std::vector<long> Expected(long from, long to, long step) {
    std::vector<long> v;
    for (long s = from; s <= to; s += step)
        v.push_back(s % kRamp);
    return v;
}

} // namespace

TEST_F(CaptureThreadTest, FramesSkippedWhileNewerAudioWaits) {
    sim->SetDeliverOnStart(2);
    // While the third frame is analysed a new buffer arrives.
    log.onFrame = [&](int index) {
        if (index == 2)
            sim->Deliver(1);
    };
    ASSERT_TRUE(controller->Start());
    ASSERT_TRUE(WaitForWaits(1));
    std::vector<long> expected = Expected(0, 256, 128);
    for (long s : Expected(1024, 1920, 128))
        expected.push_back(s);
    EXPECT_EQ(log.Starts(), expected);
    const CaptureStats st = controller->GetStats();
    EXPECT_EQ(st.framesSkipped, 5u); // 384 .. 896
    EXPECT_EQ(st.collects, 2u);      // the start's buffers, then the waiting one
}

// The adapted hop: each wait for audio takes 0.5 % off, and from the 41st wait in a row 10 %
// more; a collect that finds audio waiting adds 0.5 % and restarts the run; never below the
// floor (32 samples at 11025 Hz), which is also where a hop saved below it starts.
TEST_F(CaptureThreadTest, TheHopShrinksWhileWaitingAndGrowsWhileLagging) {
    controller->SetHop(1000);
    controller->SetAdaptiveHop(true);
    sim->SetDeliverOnStart(1); // the first collect finds audio waiting: a lag
    ASSERT_TRUE(controller->Start());
    float hop = 1000.0f * 1.005f;
    for (int w = 1; w <= 42; ++w) {
        ASSERT_TRUE(WaitForWaits(static_cast<uint64_t>(w)));
        // The wait right after the lag restarts the run: the 10 % comes at wait 42.
        hop *= w == 42 ? 0.9f * 0.995f : 0.995f;
        ASSERT_EQ(controller->GetHop(), static_cast<int>(hop)) << "wait " << w;
        sim->Deliver(1);
    }
    controller->SetHop(3);
    ASSERT_TRUE(controller->Start());
    EXPECT_EQ(controller->GetHop(), 32);
}

TEST_F(CaptureThreadTest, PauseStopsAnalysisAndResumeWorksThroughHeldAudio) {
    ASSERT_TRUE(controller->Start());
    ASSERT_TRUE(WaitForWaits(1));
    controller->SetPaused(true);
    sim->Deliver(1);
    ASSERT_TRUE(WaitFor([&] { return controller->GetStats().pauseSleeps > 0; }));
    // The device fills what is still queued to it (N - 1) and has nothing for the rest.
    EXPECT_EQ(sim->Deliver(N + 5), N - 1);
    EXPECT_EQ(sim->DroppedBuffers(), 6u);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(log.Starts().size(), 0u);
    controller->SetPaused(false);
    ASSERT_TRUE(WaitForWaits(2));
    // All N recorded buffers (N held counts as all, not none), none skipped since nothing newer
    // was waiting.
    EXPECT_EQ(log.Starts(), Expected(0, (N - 1) * B - 128, 128));
    EXPECT_EQ(controller->GetStats().framesSkipped, 0u);
    // Audio the device had no buffer for is gone: the stream resumes after the gap.
    sim->Deliver(1);
    ASSERT_TRUE(WaitForWaits(3));
    const auto starts = log.Starts();
    const size_t held = 8 * (N - 1); // frames in the held audio
    ASSERT_GT(starts.size(), held);
    EXPECT_EQ(starts[held], (N - 1) * B % kRamp); // the last held buffer, whole
    EXPECT_EQ(log.broken, 7);                     // the frames spanning the gap
}

TEST_F(CaptureThreadTest, SetUpFailureIsReportedByStart) {
    sim->FailAllOpens(true);
    EXPECT_FALSE(controller->Start());
    EXPECT_FALSE(controller->IsRunning());
    EXPECT_EQ(sim->Opens().size(), 1u);
    sim->FailAllOpens(false);
    sim->RefuseRate(22050);
    controller->SetSampleRate(22050);
    EXPECT_FALSE(controller->Start());
    controller->SetSampleRate(11025);
    controller->SetDevice(2);
    EXPECT_FALSE(controller->Start()); // the simulated machine has one device
    controller->SetDevice(1);
    EXPECT_TRUE(controller->Start());
    EXPECT_EQ(sim->Opens().back().deviceId, 0u);
    // A buffer set that can never hold a frame is refused, not started.
    controller->SetBufferLength(0);
    EXPECT_FALSE(controller->Start());
    EXPECT_EQ(sim->OpenStreams(), 0);
}

// The full stop time-out here is 12.56 s. A close of 0.3 s is waited for; one of 4 s is not:
// once the thread is letting go of the device, a second is all a stop waits.
TEST_F(CaptureThreadTest, ADeviceThatHangsInCloseIsLeftAfterASecondAndOutlivesTheController) {
    for (const int closeMs : {300, 4000}) {
        SCOPED_TRACE(closeMs);
        sim->SetCloseDelay(closeMs);
        const size_t seen = log.Starts().size();
        ASSERT_TRUE(controller->Start());
        sim->Deliver(3);
        ASSERT_TRUE(WaitFor([&] { return log.Starts().size() >= seen + 8; }));
        EXPECT_TRUE(controller->Stop());
        EXPECT_EQ(controller->GetStats().abandonedThreads, closeMs < 1000 ? 0u : 1u);
    }
    // The controller goes away while the late thread still closes the device; the thread's
    // recorder, buffers and shared state outlive it (AddressSanitizer checks).
    const size_t frames = log.Starts().size();
    controller.reset();
    ASSERT_TRUE(WaitFor([&] { return sim.use_count() == 1; }, 10000)); // the thread let go
    EXPECT_EQ(sim->Closes(), 2);
    EXPECT_EQ(log.Starts().size(), frames); // no frame callback after Stop returned
}
