#include "dialogs/DeviceEnumerator.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include "capture/PortAudioWaveIn.h"
#include "capture/QuietAudioLibraries.h"

namespace {

// Enumerates on first use and keeps what it found for its own lifetime (one Options sheet), so
// switching the selection back and forth does not probe the hardware again. PortAudio is only
// called through RunPortAudioBounded: the capture thread may be initialising PortAudio to open
// its stream, and a device that never answers must not freeze the sheet. After one call that
// does not finish in time PortAudio is left alone.
class SystemDeviceEnumerator final : public DeviceEnumerator {
public:
    ~SystemDeviceEnumerator() override {
        if (m_bPaReady && !m_bPaHung)
            RunPortAudioBounded([] { Pa_Terminate(); });
    }

    int WaveInCount() override {
        LoadWaveIn();
        return static_cast<int>(m_waveIn.size());
    }

    bool GetWaveInCaps(int device, WaveInCaps& caps) override {
        LoadWaveIn();
        if (!m_bPaReady)
            return false;
        PaDeviceIndex pa = paNoDevice;
        if (device == -1)
            pa = m_defaultIn;
        else if (device >= 0 && device < static_cast<int>(m_waveIn.size()))
            pa = m_waveIn[static_cast<size_t>(device)];
        if (pa == paNoDevice)
            return false;
        auto cached = m_waveInCaps.find(pa);
        if (cached == m_waveInCaps.end()) {
            auto probed = std::make_shared<std::optional<WaveInCaps>>();
            if (m_bPaHung || !RunPortAudioBounded([pa, probed] { *probed = Probe(pa); })) {
                // A probe still running may fill its result later: that one is not read.
                m_bPaHung = true;
                probed = std::make_shared<std::optional<WaveInCaps>>();
            }
            cached = m_waveInCaps.emplace(pa, *probed).first;
        }
        if (!cached->second)
            return false;
        caps = *cached->second;
        return true;
    }

    std::string WaveInName(int device) override {
        LoadWaveIn();
        if (device < 0 || device >= static_cast<int>(m_waveInNames.size()))
            return {};
        return m_waveInNames[static_cast<size_t>(device)];
    }

    int MidiOutCount() override {
        LoadMidiOut();
        return static_cast<int>(m_midiOut.size());
    }

    bool GetMidiOutCaps(int device, MidiOutCaps& caps) override {
        LoadMidiOut();
        // There is no MIDI mapper here: the default output is the first port found.
        if (device == -1)
            device = 0;
        if (device < 0 || device >= static_cast<int>(m_midiOut.size()))
            return false;
        caps = m_midiOut[static_cast<size_t>(device)];
        return true;
    }

private:
    struct InputList {
        bool ready = false;
        PaDeviceIndex defaultIn = paNoDevice;
        std::vector<PaDeviceIndex> devices;
        std::vector<std::string> names;
    };

    void LoadWaveIn() {
        if (m_bPaTried)
            return;
        m_bPaTried = true;
        auto list = std::make_shared<InputList>();
        const bool bDone = RunPortAudioBounded([list] {
            if (Pa_Initialize() != paNoError)
                return;
            list->ready = true;
            list->defaultIn = Pa_GetDefaultInputDevice();
            const PaDeviceIndex count = Pa_GetDeviceCount();
            for (PaDeviceIndex i = 0; i < count; ++i) {
                const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
                if (info && info->maxInputChannels > 0) {
                    list->devices.push_back(i);
                    list->names.emplace_back(info->name ? info->name : "");
                }
            }
        });
        if (!bDone) {
            m_bPaHung = true;
            return;
        }
        m_bPaReady = list->ready;
        m_defaultIn = list->defaultIn;
        m_waveIn = std::move(list->devices);
        m_waveInNames = std::move(list->names);
    }

    // Run with PortAudioLock() held.
    static std::optional<WaveInCaps> Probe(PaDeviceIndex pa) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(pa);
        if (!info)
            return std::nullopt;
        WaveInCaps caps;
        caps.name = info->name ? info->name : "";
        caps.channels = static_cast<uint16_t>(std::clamp(info->maxInputChannels, 0, 0xFFFF));
        const double rates[] = {11025.0, 22050.0, 44100.0};
        const PaSampleFormat sizes[] = {paUInt8, paInt16};
        uint32_t bit = 1;
        for (double rate : rates) {
            for (PaSampleFormat size : sizes) {
                for (int channels = 1; channels <= 2; ++channels, bit <<= 1) {
                    if (channels > info->maxInputChannels)
                        continue;
                    PaStreamParameters in{};
                    in.device = pa;
                    in.channelCount = channels;
                    in.sampleFormat = size;
                    in.suggestedLatency = info->defaultLowInputLatency;
                    in.hostApiSpecificStreamInfo = nullptr;
                    if (Pa_IsFormatSupported(&in, nullptr, rate) == paFormatIsSupported)
                        caps.formats |= bit;
                }
            }
        }
        return caps;
    }

    static int Technology(unsigned int type) {
        if (type & (SND_SEQ_PORT_TYPE_SYNTHESIZER | SND_SEQ_PORT_TYPE_SYNTH |
                    SND_SEQ_PORT_TYPE_DIRECT_SAMPLE | SND_SEQ_PORT_TYPE_SAMPLE))
            return MidiTechnology::kSynth;
        if (type & (SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT))
            return MidiTechnology::kMidiPort;
        return 0;
    }

    void LoadMidiOut() {
        if (m_bSeqTried)
            return;
        m_bSeqTried = true;
        snd_seq_t* seq = nullptr;
        const QuietAudioLibraries quiet; // no sequencer is no news
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0)
            return;
        const int self = snd_seq_client_id(seq);
        snd_seq_client_info_t* client = nullptr;
        snd_seq_port_info_t* port = nullptr;
        snd_seq_client_info_malloc(&client);
        snd_seq_port_info_malloc(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == SND_SEQ_CLIENT_SYSTEM || id == self)
                continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(seq, port) >= 0) {
                const unsigned int cap = snd_seq_port_info_get_capability(port);
                const unsigned int writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
                if ((cap & writable) != writable || (cap & SND_SEQ_PORT_CAP_NO_EXPORT))
                    continue;
                MidiOutCaps caps;
                const char* name = snd_seq_port_info_get_name(port);
                caps.name = name ? name : "";
                caps.technology = Technology(snd_seq_port_info_get_type(port));
                caps.voices = static_cast<uint16_t>(
                    std::clamp(snd_seq_port_info_get_synth_voices(port), 0, 0xFFFF));
                caps.notes = static_cast<uint16_t>(
                    std::clamp(snd_seq_port_info_get_midi_voices(port), 0, 0xFFFF));
                m_midiOut.push_back(std::move(caps));
            }
        }
        snd_seq_port_info_free(port);
        snd_seq_client_info_free(client);
        snd_seq_close(seq);
    }

    bool m_bPaTried = false;
    bool m_bPaReady = false;
    bool m_bPaHung = false;
    PaDeviceIndex m_defaultIn = paNoDevice;
    std::vector<PaDeviceIndex> m_waveIn;
    std::vector<std::string> m_waveInNames;
    std::map<PaDeviceIndex, std::optional<WaveInCaps>> m_waveInCaps;
    bool m_bSeqTried = false;
    std::vector<MidiOutCaps> m_midiOut;
};

} // namespace

std::unique_ptr<DeviceEnumerator> MakeSystemDeviceEnumerator() {
    return std::make_unique<SystemDeviceEnumerator>();
}
