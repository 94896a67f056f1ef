// Wave-in device, recorder and the buffer queue the services share.

#include "CaptureTestUtil.h"
#include "capture/CRecorder.h"
#include "capture/CWaveInDevice.h"
#include "capture/SimulatedWaveIn.h"
#include "capture/WaveBufferQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

TEST(WaveFormat, MonoSixteenBit) {
    const WaveFormat f = MakeWaveFormat(1, 11025, 16);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 11025u);
    EXPECT_EQ(f.nAvgBytesPerSec, 22050u);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);
    const WaveFormat s = MakeWaveFormat(2, 44100, 8);
    EXPECT_EQ(s.nBlockAlign, 2);
    EXPECT_EQ(s.nAvgBytesPerSec, 88200u);
}

TEST(CWaveInDevice, ResetBeforeAnyOpenCallsNothing) {
    SimulatedWaveIn sim;
    CWaveInDevice device(sim);
    EXPECT_EQ(device.Reset(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(device.GetLastResult(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(sim.Resets(), 0);
}

TEST(CWaveInDevice, RefusedFormatLeavesCountAtZero) {
    SimulatedWaveIn sim;
    sim.RefuseRate(11025);
    CWaveInDevice device(sim);
    AutoResetEvent event;
    EXPECT_FALSE(device.Open(WAVE_MAPPER, MakeWaveFormat(1, 11025, 16), &event));
    EXPECT_EQ(device.GetLastResult(), WAVERR_BADFORMAT);
    EXPECT_EQ(device.GetReadyCount(), 0);
    EXPECT_FALSE(device.IsOpen());
    // The event is in place all the same: a notice now reaches it.
    CWaveInDevice::DeviceCallback(&device, WIM_DATA, nullptr);
    EXPECT_TRUE(event.IsSet());
}

TEST(CWaveInDevice, NoticesCountAndSetTheEvent) {
    SimulatedWaveIn sim;
    CWaveInDevice device(sim);
    AutoResetEvent event;
    ASSERT_TRUE(device.Open(WAVE_MAPPER, MakeWaveFormat(1, 11025, 16), &event));
    CWaveInDevice::DeviceCallback(&device, WIM_OPEN, nullptr);
    CWaveInDevice::DeviceCallback(&device, WIM_CLOSE, nullptr);
    EXPECT_EQ(device.GetReadyCount(), 0);
    EXPECT_FALSE(event.IsSet());
    for (int i = 0; i < 3; ++i)
        CWaveInDevice::DeviceCallback(&device, WIM_DATA, nullptr);
    EXPECT_EQ(device.GetReadyCount(), 3);
    // An auto-reset event wakes one wait; the count carries the rest.
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
    device.TakeReady();
    EXPECT_EQ(device.GetReadyCount(), 2);
    // A failed reset suppresses nothing else but the reset that follows it.
    EXPECT_EQ(device.AddBuffer(nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(device.Reset(), MMSYSERR_INVALPARAM);
    EXPECT_EQ(sim.Resets(), 0);
    EXPECT_TRUE(device.Close());
}

TEST(AutoResetEvent, WaitTimesOutAndWakesOnSet) {
    AutoResetEvent event;
    EXPECT_FALSE(event.Wait(20));
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        event.Set();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(event.Wait(5000));
    EXPECT_LT(MillisecondsSince(t0), 4000.0);
    setter.join();
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

namespace {

// Fails the data block of one slot, as on a machine out of memory.
class FailingRecorder : public CRecorder {
public:
    FailingRecorder(WaveInService& s, int failAt) : CRecorder(s), m_failAt(failAt) {}

protected:
    char* AllocateBlock(size_t bytes) override {
        return m_calls++ == m_failAt ? nullptr : CRecorder::AllocateBlock(bytes);
    }

private:
    int m_failAt;
    int m_calls = 0;
};

} // namespace

TEST(CRecorder, AllocatesZeroFilledBuffersUpToItsLimit) {
    SimulatedWaveIn sim;
    CRecorder recorder(sim);
    recorder.SetBufferCount(CRecorder::kMaxBuffers + 1);
    EXPECT_EQ(recorder.GetBufferCount(), CRecorder::kMaxBuffers);
    ASSERT_TRUE(recorder.AllocateBuffers(2048));
    for (int i = 0; i < CRecorder::kMaxBuffers; ++i) {
        const WaveHeader* h = recorder.GetBuffer(i);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->dwBufferLength, 2048u);
        EXPECT_EQ(h->dwBytesRecorded, 0u);
        EXPECT_EQ(h->dwFlags, 0u);
        EXPECT_TRUE(std::all_of(h->lpData, h->lpData + 2048, [](char c) { return c == 0; }));
    }
    EXPECT_TRUE(recorder.FreeBuffers());
    EXPECT_EQ(recorder.GetBuffer(0), nullptr);
}

TEST(CRecorder, FailedBlockAllocationFailsAndKeepsEarlierSlots) {
    SimulatedWaveIn sim;
    FailingRecorder recorder(sim, 3);
    recorder.SetBufferCount(10);
    EXPECT_FALSE(recorder.AllocateBuffers(2048));
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(recorder.GetBuffer(i), nullptr);
    // No zero-length buffer is stored in place of the failed one.
    for (int i = 3; i < 10; ++i)
        EXPECT_EQ(recorder.GetBuffer(i), nullptr);
    EXPECT_TRUE(recorder.FreeBuffers()); // frees only the filled slots
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(recorder.GetBuffer(i), nullptr);
    CRecorder plain(sim);
    plain.SetBufferCount(4);
    EXPECT_FALSE(plain.AllocateBuffers(0));
}

TEST(CRecorder, DeviceIndexMapsToServiceId) {
    SimulatedWaveIn sim;
    sim.SetDeviceCount(4);
    const WaveFormat f = MakeWaveFormat(1, 11025, 16);
    {
        CRecorder recorder(sim);
        EXPECT_TRUE(recorder.Open(f, 0));
        EXPECT_FALSE(recorder.Open(f, 3)); // already open: the device is not touched
    }
    {
        CRecorder recorder(sim);
        EXPECT_TRUE(recorder.Open(f, 3));
        EXPECT_TRUE(recorder.Close());
        EXPECT_FALSE(recorder.Close());
    }
    const auto opens = sim.Opens();
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].deviceId, WAVE_MAPPER);
    EXPECT_EQ(opens[1].deviceId, 2u);
    EXPECT_EQ(sim.OpenStreams(), 0); // the destructor closed the first
}

TEST(CRecorder, WaitForDataTimesOutOrWakesOnBuffer) {
    SimulatedWaveIn sim;
    CRecorder recorder(sim);
    recorder.SetBufferCount(4);
    ASSERT_TRUE(recorder.AllocateBuffers(256));
    ASSERT_TRUE(recorder.Open(MakeWaveFormat(1, 11025, 16), 0));
    recorder.QueueAllBuffers();
    recorder.ResetDataEvent();
    recorder.Start();
    EXPECT_FALSE(recorder.WaitForData(50));
    std::thread feeder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim.Deliver(1);
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(recorder.WaitForData(5000));
    EXPECT_LT(MillisecondsSince(t0), 4000.0);
    feeder.join();
    EXPECT_EQ(recorder.GetReadyCount(), 1);
    // Stop, reset: every queued buffer comes back marked done.
    recorder.Stop();
    recorder.Reset();
    EXPECT_EQ(recorder.GetReadyCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(recorder.GetBuffer(i)->dwFlags & WHDR_DONE, 0u);
    EXPECT_TRUE(recorder.Close());
    recorder.FreeBuffers();
}

TEST(WaveBufferQueue, FillsInQueueOrderAcrossCalls) {
    std::vector<char> a(8), b(8), c(8);
    WaveHeader ha{a.data(), 8}, hb{b.data(), 8}, hc{c.data(), 8};
    WaveBufferQueue q;
    ASSERT_TRUE(q.Push(&ha));
    ASSERT_TRUE(q.Push(&hb));
    ASSERT_TRUE(q.Push(&hc));
    std::vector<WaveHeader*> done;
    auto proc = [](void* inst, uint32_t msg, WaveHeader* h) {
        if (msg == WIM_DATA)
            static_cast<std::vector<WaveHeader*>*>(inst)->push_back(h);
    };
    const int16_t s[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 6u); // buffer a full, b half
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0], &ha);
    EXPECT_EQ(ha.dwBytesRecorded, 8u);
    EXPECT_NE(ha.dwFlags & WHDR_DONE, 0u);
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 6u); // b full, c full
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[1], &hb);
    EXPECT_EQ(done[2], &hc);
    const auto* bs = reinterpret_cast<const int16_t*>(b.data());
    EXPECT_EQ(bs[0], 5);
    EXPECT_EQ(bs[1], 6);
    EXPECT_EQ(bs[2], 1);
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 0u); // nothing queued: lost
    ASSERT_TRUE(q.Push(&ha));
    q.Fill(s, 1, proc, &done);
    q.CompletePartial(proc, &done);
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(ha.dwBytesRecorded, 2u);
}
