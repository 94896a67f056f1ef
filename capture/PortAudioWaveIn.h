#pragma once

#include <functional>
#include <mutex>

// Pa_Initialize and Pa_Terminate are not thread-safe: the capture thread opens streams while
// the window thread may list devices. Whoever calls them holds this lock.
std::mutex& PortAudioLock();

// Runs `work` with PortAudioLock() held on a thread of its own and waits for it at most the
// wait limit. PortAudio probes every device as it initialises, and a device that never answers
// would otherwise freeze the window thread for good. False when the work did not finish in
// time (or no thread could be made): it then carries on unattended, keeping the lock, so it
// must keep what it writes in state it owns. The audio libraries' messages are quieted
// meanwhile (QuietAudioLibraries).
bool RunPortAudioBounded(std::function<void()> work);

// The wait limit, 5000 ms unless a test sets another.
void SetPortAudioWaitLimit(int ms);

// Test hook on the PortAudio stream callback: `probe(true)` runs as the callback begins and
// `probe(false)` as it ends, on the audio thread. Null (the default) disables it.

using PortAudioCallbackProbe = void (*)(bool entering);
void SetPortAudioCallbackProbe(PortAudioCallbackProbe probe);
