// The live window with a real capture thread on a simulated recording device: the capture
// thread composes and the window thread repaints; the frame-rate title never makes the capture
// thread wait; closing never waits longer than the engine's stop time-out. Built under
// ThreadSanitizer too.

#include "AppTestSupport.h"

#include "analysis/FramePipeline.h"
#include "display/HintControls.h"

#include <QApplication>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class LiveTest : public AppDirTest {
protected:
    // A tone with harmonics at 11025 Hz, delivered `speed` times faster than real time.
    static std::shared_ptr<SimulatedWaveIn> ToneDevice(double frequency, double speed) {
        auto device = QuietDevice();
        device->SetSource(std::make_shared<HarmonicSource>(frequency, 11025));
        device->SetPace(SimulatedWaveIn::Pace::Paced, speed);
        return device;
    }

    // Processes window events until `done` or `ms` milliseconds have passed.
    template <typename Done> static bool RunUntil(Done done, int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }
};

TEST_F(LiveTest, TunesAToneWhileTheWindowThreadPaintsAndChangesThings) {
    auto window = MakeWindow(ToneDevice(440.0, 2.0));
    ShowActive(*window);
    window->OnChar('f');
    // A4 in tune once the reading settles (the first frames naming A4 may still be on the way).
    ASSERT_TRUE(RunUntil(
        [&] {
            return window->ShownNote() == 9 && window->ShownOctave() == 4 &&
                   std::abs(window->ShownPercent()) <= 1;
        },
        8000));

    // The window thread works on the same instruments while frames keep arriving.
    for (int i = 0; i < 20; ++i) {
        window->OnPaint();
        window->Settings().SetNeedleColor(i % 2 ? 0x0000FF : 0x00FF00);
        window->OnColorsChanged();
        window->KeySelector()->setCurrentIndex(i % 3 == 0 ? 9 : 0);
        window->OnPointerMove(20 + i, 100);
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    window->KeySelector()->setCurrentIndex(9); // A: concert A shows as C
    const uint64_t seen = window->FramesUpdated();
    EXPECT_TRUE(RunUntil([&] { return window->FramesUpdated() > seen + 20; }, 5000));
    EXPECT_EQ(window->ShownNote(), 0);
    EXPECT_EQ(window->ShownOctave(), 4);
    EXPECT_TRUE(RunUntil([&] { return window->windowTitle().endsWith(" fps)"); }, 3000))
        << window->windowTitle().toStdString();

    window->OnExit();
    EXPECT_FALSE(window->Engine().IsRunning());
    EXPECT_FALSE(window->CaptureAbandoned());
}

TEST_F(LiveTest, TitleUpdatesNeverHoldUpTheCaptureThread) {
    auto window = MakeWindow(ToneDevice(440.0, 4.0));
    window->OnChar('f');
    ASSERT_TRUE(RunUntil([&] { return window->FramesUpdated() > 0; }, 5000));
    // The window thread handles no events for a while: frames, and their title updates,
    // must go on regardless.
    const uint64_t before = window->FramesUpdated();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const uint64_t during = window->FramesUpdated() - before;
    EXPECT_GT(during, 20u);
    // The window thread, back, shows the newest reading and the latest rate at its next refresh.
    QApplication::processEvents();
    EXPECT_TRUE(window->windowTitle().endsWith(" fps)")) << window->windowTitle().toStdString();

    const auto start = Clock::now();
    window->close();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LT(took, window->Engine().Capture().StopTimeout());
    EXPECT_TRUE(window->IsDestroyed());
    EXPECT_EQ(window->StateWrites(), 1);
}

TEST_F(LiveTest, MinimisedWindowReceivesNoFrames) {
    auto window = MakeWindow(ToneDevice(440.0, 2.0));
    ShowActive(*window);
    ASSERT_TRUE(RunUntil([&] { return window->FramesUpdated() > 10; }, 5000));
    window->showMinimized();
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the frame in progress ends
    const uint64_t paused = window->FramesUpdated();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(window->FramesUpdated(), paused);
    window->showNormal();
    EXPECT_TRUE(RunUntil([&] { return window->FramesUpdated() > paused; }, 5000));
}

TEST_F(LiveTest, ADeviceThatStopsSendingPutsTheInstrumentsAtRestAndSaysSoOnce) {
    auto device = ToneDevice(440.0, 2.0);
    auto window = MakeWindow(device);
    window->SetSilentDeviceLimit(1000);
    ShowActive(*window);
    const uint32_t scheme = 0xA00000; // the default needle colour, while following
    ASSERT_TRUE(RunUntil(
        [&] { return window->ShownNote() == 9 && window->LastNeedleColor() == scheme; }, 8000));
    EXPECT_FALSE(window->DeviceSilent());
    const size_t linesBefore = LogLines().size();

    device->StopDelivering(); // unplugged: the capture thread waits for audio that never comes
    ASSERT_TRUE(RunUntil([&] { return window->DeviceSilent(); }, 5000));
    EXPECT_EQ(window->LastNeedleColor(), TunerWindow::kRestingNeedleColor);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), linesBefore + 1);
    const std::string said = ": The recording device stopped sending audio";
    EXPECT_EQ(lines.back().substr(lines.back().size() - said.size()), said) << lines.back();
    // Said once, however long the device stays silent.
    RunUntil([] { return false; }, 1200);
    EXPECT_EQ(LogLines().size(), linesBefore + 1);
    EXPECT_TRUE(window->DeviceSilent());
}

} // namespace
