#include "capture/WaveInService.h"

WaveFormat MakeWaveFormat(int channels, int samplesPerSec, int bitsPerSample) {
    WaveFormat f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = static_cast<uint32_t>(samplesPerSec);
    f.nBlockAlign = static_cast<uint16_t>((bitsPerSample / 8) * channels);
    f.nAvgBytesPerSec = static_cast<uint32_t>((bitsPerSample / 8) * channels * samplesPerSec);
    f.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
    f.cbSize = 0;
    return f;
}

uint32_t PrepareHeader(WaveHeader* header) {
    if (header == nullptr || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

uint32_t CheckQueueable(const WaveHeader* header) {
    if (header == nullptr || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & WHDR_PREPARED) == 0)
        return WAVERR_UNPREPARED;
    return MMSYSERR_NOERROR;
}
