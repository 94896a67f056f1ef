#pragma once

#include <mutex>

// Pa_Initialize and Pa_Terminate are not thread-safe: the capture thread opens streams while
// the window thread may list devices. Whoever calls them holds this lock.
std::mutex& PortAudioLock();

// Test hook on the PortAudio stream callback: `probe(true)` runs as the callback begins and
// `probe(false)` as it ends, on the audio thread. Null (the default) disables it.

using PortAudioCallbackProbe = void (*)(bool entering);
void SetPortAudioCallbackProbe(PortAudioCallbackProbe probe);
