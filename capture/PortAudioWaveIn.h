#pragma once
// Test hook on the PortAudio stream callback: `probe(true)` runs as the callback begins and
// `probe(false)` as it ends, on the audio thread. Null (the default) disables it.

using PortAudioCallbackProbe = void (*)(bool entering);
void SetPortAudioCallbackProbe(PortAudioCallbackProbe probe);
