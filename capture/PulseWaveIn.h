#pragma once
// The wave-in service on the desktop's sound server through libpulse: PulseAudio, or PipeWire
// through pipewire-pulse, which hold the sound cards themselves on a desktop. Its devices are
// the server's sources under the names the desktop shows (inputs first, then the monitors of
// the outputs); device number k is the k-th of that list and the preferred device is the
// server's default source, which a recording follows when the user changes it.
//
// A recording from a chosen source that goes away (unplugged) simply delivers nothing; when a
// source of that name comes back, recording resumes from it on its own.
//
// Threads: the connection runs a libpulse threaded main loop. Its read callback only copies
// samples into the buffers queued by AddBuffer, counts each full one and sets the data-ready
// event (WaveBufferQueue); the loop thread otherwise only follows the server's device list.

#include <memory>

class WaveInService;

// How long a sound server has to answer before the tuner records through PortAudio instead.
inline constexpr int kPulseAnswerMs = 2000;

// Null when no server answers within `timeoutMs` (none running, or one that hangs). A server is
// never started for this: one installed only for the tests stays idle.
std::shared_ptr<WaveInService> CreatePulseWaveIn(int timeoutMs = kPulseAnswerMs);

// Test hook on the read callback: `probe(true)` runs as it begins and `probe(false)` as it ends,
// on the loop thread. Null (the default) disables it.
void SetPulseReadProbe(void (*probe)(bool entering));
