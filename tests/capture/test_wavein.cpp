// Wave-in device, recorder and the buffer queue the services share.

#include "CaptureTestUtil.h"
#include "capture/CRecorder.h"
#include "capture/CWaveInDevice.h"
#include "capture/SimulatedWaveIn.h"
#include "capture/WaveBufferQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(CWaveInDevice, CountsDataNoticesAndSetsTheEvent) {
    const WaveFormat stereo = MakeWaveFormat(2, 44100, 8);
    EXPECT_EQ(stereo.nBlockAlign, 2);
    EXPECT_EQ(stereo.nAvgBytesPerSec, 88200u);
    SimulatedWaveIn sim;
    sim.RefuseRate(22050);
    CWaveInDevice device(sim);
    EXPECT_EQ(device.Reset(), MMSYSERR_BADDEVICEID); // nothing open: the service is not called
    AutoResetEvent event;
    EXPECT_FALSE(device.Open(WAVE_MAPPER, MakeWaveFormat(1, 22050, 16), &event));
    EXPECT_EQ(device.GetLastResult(), WAVERR_BADFORMAT);
    ASSERT_TRUE(device.Open(WAVE_MAPPER, MakeWaveFormat(1, 11025, 16), &event));
    CWaveInDevice::DeviceCallback(&device, WIM_OPEN, nullptr);
    EXPECT_FALSE(event.IsSet());
    for (int i = 0; i < 3; ++i)
        CWaveInDevice::DeviceCallback(&device, WIM_DATA, nullptr);
    EXPECT_EQ(device.GetReadyCount(), 3);
    // An auto-reset event wakes one wait; the count carries the rest.
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
    device.TakeReady();
    EXPECT_EQ(device.GetReadyCount(), 2);
    // A buffer the service refuses is reported; so is an unprepared one.
    std::vector<char> data(16);
    WaveHeader unprepared{data.data(), 16};
    EXPECT_EQ(device.AddBuffer(nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(device.AddBuffer(&unprepared), WAVERR_UNPREPARED);
    EXPECT_EQ(device.Reset(), WAVERR_UNPREPARED); // a failed call suppresses the next reset
    EXPECT_EQ(sim.Resets(), 0);
    EXPECT_TRUE(device.Close());
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

TEST(CRecorder, AllocatesZeroFilledBuffersUpToItsLimitOrFailsWhole) {
    SimulatedWaveIn sim;
    CRecorder recorder(sim);
    recorder.SetBufferCount(CRecorder::kMaxBuffers + 1);
    EXPECT_FALSE(recorder.AllocateBuffers(0)); // would read as full buffers
    ASSERT_TRUE(recorder.AllocateBuffers(2048));
    const WaveHeader* last = recorder.GetBuffer(CRecorder::kMaxBuffers - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->dwBufferLength, 2048u);
    EXPECT_TRUE(std::all_of(last->lpData, last->lpData + 2048, [](char c) { return c == 0; }));
    recorder.FreeBuffers();
    EXPECT_EQ(recorder.GetBuffer(0), nullptr);
    FailingRecorder failing(sim, 3);
    failing.SetBufferCount(10);
    EXPECT_FALSE(failing.AllocateBuffers(2048));
    EXPECT_NE(failing.GetBuffer(2), nullptr);
    EXPECT_EQ(failing.GetBuffer(3), nullptr);
    failing.FreeBuffers();
}

TEST(CRecorder, OpensTheServiceDeviceAndWaitsForData) {
    SimulatedWaveIn sim;
    sim.SetDeviceCount(4);
    const WaveFormat f = MakeWaveFormat(1, 11025, 16);
    {
        CRecorder recorder(sim);
        EXPECT_TRUE(recorder.Open(f, 3));
        EXPECT_FALSE(recorder.Open(f, 0)); // already open: the device is not touched
        EXPECT_TRUE(recorder.Close());
        EXPECT_FALSE(recorder.Close());
    }
    EXPECT_EQ(sim.Closes(), 1);
    CRecorder recorder(sim);
    recorder.SetBufferCount(4);
    ASSERT_TRUE(recorder.AllocateBuffers(256));
    ASSERT_TRUE(recorder.Open(f, 0));
    ASSERT_EQ(sim.Opens().size(), 2u);
    EXPECT_EQ(sim.Opens()[0].deviceId, 2u);
    EXPECT_EQ(sim.Opens()[1].deviceId, WAVE_MAPPER);
    recorder.QueueAllBuffers();
    recorder.ResetDataEvent();
    recorder.Start();
    EXPECT_FALSE(recorder.WaitForData(20));
    sim.Deliver(1);
    EXPECT_TRUE(recorder.WaitForData(5000));
    // Stop, reset: every queued buffer comes back marked done.
    recorder.Stop();
    recorder.Reset();
    EXPECT_EQ(recorder.GetReadyCount(), 4);
    EXPECT_NE(recorder.GetBuffer(3)->dwFlags & WHDR_DONE, 0u);
    EXPECT_TRUE(recorder.Close());
    recorder.FreeBuffers();
}

TEST(WaveBufferQueue, FillsInQueueOrderAcrossCallsAndHandsBackPartOnStop) {
    std::vector<char> a(8), b(8), c(8);
    WaveHeader ha{a.data(), 8}, hb{b.data(), 8}, hc{c.data(), 8};
    WaveBufferQueue q;
    for (WaveHeader* h : {&ha, &hb, &hc})
        ASSERT_TRUE(q.Push(h));
    std::vector<WaveHeader*> done;
    auto proc = [](void* inst, uint32_t msg, WaveHeader* h) {
        if (msg == WIM_DATA)
            static_cast<std::vector<WaveHeader*>*>(inst)->push_back(h);
    };
    const int16_t s[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 6u); // a full, b half
    EXPECT_EQ(done, std::vector<WaveHeader*>{&ha});
    EXPECT_EQ(ha.dwBytesRecorded, 8u);
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 6u); // b full, c full
    EXPECT_EQ(done, (std::vector<WaveHeader*>{&ha, &hb, &hc}));
    const auto* bs = reinterpret_cast<const int16_t*>(b.data());
    EXPECT_EQ(std::vector<int16_t>(bs, bs + 4), (std::vector<int16_t>{5, 6, 1, 2}));
    EXPECT_EQ(q.Fill(s, 6, proc, &done), 0u); // nothing queued: lost
    ASSERT_TRUE(q.Push(&ha));
    q.CompletePartial(proc, &done); // nothing in it yet: kept
    EXPECT_EQ(done.size(), 3u);
    q.Fill(s, 1, proc, &done);
    q.CompletePartial(proc, &done);
    EXPECT_EQ(done.size(), 4u);
    EXPECT_EQ(ha.dwBytesRecorded, 2u);
    // The ring holds its capacity and not one buffer more.
    WaveBufferQueue full;
    for (uint32_t i = 0; i < WaveBufferQueue::kCapacity; ++i)
        ASSERT_TRUE(full.Push(&hb));
    EXPECT_FALSE(full.Push(&hb));
}
