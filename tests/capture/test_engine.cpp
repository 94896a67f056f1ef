// Tuner engine and the six-attempt recording start, on the simulated service.

#include "CaptureTestUtil.h"
#include "capture/SimulatedWaveIn.h"
#include "model/TunerSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Tries = std::vector<std::pair<uint32_t, uint32_t>>; // (device, rate) of each open

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_shared<SimulatedWaveIn>();
        engine = std::make_unique<TunerEngine>(sim);
        window.engine = engine.get();
    }
    bool Start(const TunerSettings& settings) {
        return StartRecording(*engine, settings, &Window::OnFrame, &window, reporter);
    }
    Tries Tried() const {
        Tries tried;
        for (const auto& open : sim->Opens())
            tried.emplace_back(open.deviceId, open.format.nSamplesPerSec);
        return tried;
    }
    std::shared_ptr<SimulatedWaveIn> sim;
    std::unique_ptr<TunerEngine> engine;
    Window window;
    ReporterLog reporter;
};

} // namespace

TEST_F(EngineTest, AllSixAttemptsFailInOrderThenOneWarning) {
    sim->SetDeviceCount(3);
    sim->FailAllOpens(true);
    TunerSettings settings;
    settings.SetRecordingDevice(2);
    EXPECT_FALSE(Start(settings));
    EXPECT_EQ(Tried(), (Tries{{1, 11025},
                              {1, 22050},
                              {1, 44100},
                              {WAVE_MAPPER, 11025},
                              {WAVE_MAPPER, 22050},
                              {WAVE_MAPPER, 44100}}));
    ASSERT_EQ(reporter.warnings.size(), 1u);
    EXPECT_EQ(reporter.warnings[0].first, kUnusableDeviceTitle);
    EXPECT_EQ(reporter.lines, std::vector<std::string>{kUnusableDeviceLog});
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_FALSE(engine->Capture().GetAdaptiveHop());
}

TEST_F(EngineTest, MissingSavedDeviceAndRefusedRateMoveToTheNextAttempt) {
    sim->SetDeviceCount(2);
    sim->RefuseRate(11025);
    TunerSettings settings;
    settings.SetRecordingDevice(5); // unplugged since the last run
    settings.SetConcertA(442.0f);
    ASSERT_TRUE(Start(settings));
    EXPECT_TRUE(reporter.warnings.empty());
    EXPECT_TRUE(reporter.lines.empty());
    EXPECT_EQ(
        Tried(),
        (Tries{{4, 11025}, {4, 22050}, {4, 44100}, {WAVE_MAPPER, 11025}, {WAVE_MAPPER, 22050}}));
    EXPECT_EQ(engine->GetSampleRate(), 22050);
    EXPECT_EQ(engine->GetBufferLength(), 256); // 11.6 ms, as at every rate
    EXPECT_FLOAT_EQ(engine->GetConcertA(), 442.0f);
    EXPECT_TRUE(engine->Capture().GetAdaptiveHop());
    EXPECT_TRUE(engine->Stop());
}

TEST_F(EngineTest, ADamagedSavedHopIsBroughtIntoRange) {
    // The settings file takes any hop up to 2147483647. Zero would analyse one frame for ever,
    // and a huge one overflowed the stop time-out and the frame positions. One below the floor
    // (32 samples at 11025 Hz) starts at the floor.
    const int ring = (CaptureSettings{}.nBuffers - 1) * 128;
    for (const auto& [saved, expected] : {std::pair{2147483647.0f, ring}, std::pair{1.0e8f, ring},
                                          std::pair{0.0f, 32}, std::pair{20.0f, 32}}) {
        TunerSettings settings;
        settings.SetAnalysisHop(saved);
        const int framesBefore = window.frames.load();
        ASSERT_TRUE(Start(settings));
        // The thread may already have adapted it by one step.
        auto inRange = [&](int hop) {
            return hop == expected || hop == static_cast<int>(expected * 0.995f);
        };
        EXPECT_TRUE(inRange(engine->Capture().GetHop())) << saved;
        EXPECT_TRUE(inRange(engine->GetHop())) << saved;
        EXPECT_GE(engine->Capture().StopTimeout(), (expected * 0.995f + 500) * 20 - 20) << saved;
        EXPECT_LE(engine->Capture().StopTimeout(), (expected + 500) * 20) << saved;
        sim->Deliver(9); // a frame's 1024 samples in buffers of 128 (start + 1024 needs 9)
        ASSERT_TRUE(WaitFor([&] { return window.frames.load() > framesBefore; })) << saved;
        EXPECT_TRUE(engine->Stop());
    }
    EXPECT_EQ(engine->Capture().GetStats().abandonedThreads, 0u);
}

// Frames name the note; a driver hanging in close leaves the thread behind, and the analyser
// it may still use lives on with it while a new start gets its own.
TEST_F(EngineTest, FramesNameTheNoteAndALateThreadOutlivesTheEngine) {
    sim->SetSource(std::make_shared<SineSource>(440.0, 11025, 6000.0, 4));
    sim->SetPace(SimulatedWaveIn::Pace::Paced, 8.0, 256);
    sim->SetCloseDelay(600);
    TunerSettings settings;
    ASSERT_TRUE(Start(settings));
    engine->Capture().SetStopTimeoutOverride(50);
    ASSERT_TRUE(WaitFor([&] { return window.frames.load() >= 60; }, 10000));
    EXPECT_TRUE(engine->Stop());
    EXPECT_EQ(window.MostFrequent().first, std::make_pair(9, 4)); // A4
    EXPECT_GT(engine->GetInputLevel(), 0.5f);
    EXPECT_EQ(engine->Capture().GetStats().abandonedThreads, 1u); // gone without waiting
    ASSERT_TRUE(Start(settings));
    EXPECT_TRUE(engine->Stop());
    engine.reset();
    ASSERT_TRUE(WaitFor([&] { return sim.use_count() == 1; })); // every thread let go
    EXPECT_EQ(sim->OpenStreams(), 0);
}
