#pragma once
// Probing the sound system makes ALSA and JACK print dozens of lines ("cannot find card '0'",
// "jack server is not running") on a machine without a sound card, which users take for a
// crash. While a QuietAudioLibraries lives, ALSA's messages raised on its thread and JACK's
// error and info messages are dropped; what the user must know reaches them through the error
// log and the message boxes. Hold one around every initialisation and probe of an audio
// library. With TARVO_AUDIO_DEBUG set to a non-empty value the messages go through as usual.
class QuietAudioLibraries {
public:
    QuietAudioLibraries();
    ~QuietAudioLibraries();
    QuietAudioLibraries(const QuietAudioLibraries&) = delete;
    QuietAudioLibraries& operator=(const QuietAudioLibraries&) = delete;

private:
    bool m_bActive = false;
    void (*m_previousAlsa)() = nullptr; // this thread's ALSA handler before this one
};
