"""Builds the accuracy corpus: synthetic harmonic tones, pure sines, noise without any note,
digital silence and fluidsynth-rendered instrument notes.

Every note file starts with 0.3 s of silence (or of noise alone), and a manifest.json beside the
files records, per file, its kind (tone, sine, noise, instrument), category, onset, end of the
steady part, nominal MIDI note, detune in cents and true frequency (none for noise and silence).
For rendered notes the true frequency is measured from the audio itself (see truepitch.py) and
the manifest says when that measurement differs from the nominal pitch.
"""

import json
import os
import shutil
import struct
import subprocess
import wave

import numpy as np

import truepitch

LEAD = 0.3  # seconds of silence before each note
SYNTH_RATE = 11025
RENDER_RATE = 44100
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"

# Detunes in cents, used in turn, so every category mixes flat, sharp and in-tune notes.
DETUNES = [-37, 12, 23, -8, 41, -29, 0, -15, 4, 33, -44, 18, -3, 27]


def midi_freq(note, cents=0.0):
    return 440.0 * 2.0 ** ((note - 69 + cents / 100.0) / 12.0)


def note_name(note):
    names = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"]
    return "%s%d" % (names[note % 12], note // 12 - 1)


def write_wav(path, samples, rate):
    """Writes mono float samples (full scale 1.0) as 16-bit PCM."""
    data = np.clip(np.round(samples * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())


def read_wav(path):
    with wave.open(path, "rb") as w:
        n, ch, rate = w.getnframes(), w.getnchannels(), w.getframerate()
        assert w.getsampwidth() == 2, path
        data = np.frombuffer(w.readframes(n), dtype="<i2").astype(np.float64) / 32768.0
    return data.reshape(-1, ch).mean(axis=1), rate


# ---------------------------------------------------------------- synthetic tones


def synth_tone(freq, rate, rng, length=1.5):
    """A harmonic tone (partials falling as 1/k, random phases) with a short attack and a slow
    decay, preceded by LEAD seconds of silence and followed by 0.2 s of silence."""
    n = int(round(length * rate))
    t = np.arange(n) / rate
    tone = np.zeros(n)
    k = 1
    while k * freq < 0.45 * rate and k <= 16:
        tone += np.sin(2 * np.pi * k * freq * t + rng.uniform(0, 2 * np.pi)) / k
        k += 1
    env = np.minimum(t / 0.01, 1.0) * np.exp(-t / 2.5)
    env *= np.clip((length - t) / 0.02, 0.0, 1.0)
    tone *= env
    tone *= 0.5 / np.max(np.abs(tone))
    lead = np.zeros(int(round(LEAD * rate)))
    tail = np.zeros(int(round(0.2 * rate)))
    return np.concatenate([lead, tone, tail]), float(np.sqrt(np.mean(tone[: n // 2] ** 2)))


def make_synthetic(out, reduced, snrs):
    rng = np.random.default_rng(8)
    notes = list(range(28, 89, 5))  # E1, A1, D2, ... E6
    if reduced:
        notes = [28, 38, 53, 68, 88]
    entries = []
    i = 0
    for note in notes:
        for rep in range(1 if reduced else 2):
            det = DETUNES[i % len(DETUNES)]
            i += 1
            freq = midi_freq(note, det)
            sig, rms = synth_tone(freq, SYNTH_RATE, rng)
            variants = [("synth clean", None)] + [("synth noise %d dB" % s, s) for s in snrs]
            for cat, snr in variants:
                x = sig
                if snr is not None:
                    x = sig + rng.normal(0.0, rms / 10 ** (snr / 20.0), len(sig))
                tag = "clean" if snr is None else "snr%d" % snr
                name = "synth_%s_%s_%+d.wav" % (tag, note_name(note), det)
                write_wav(os.path.join(out, name), x, SYNTH_RATE)
                entries.append(
                    dict(file=name, kind="tone", category=cat, onset=LEAD, end=LEAD + 1.45,
                         note=note, detune=det, nominal=freq, truth=freq, measured=None))
    return entries


# ---------------------------------------------------------------- pure sines, noise, silence

SINE_LENGTH = 2.0  # seconds of each sine
SINE_LEVELS = [-40, -30, -20, -10, -3]  # dBFS (peak) of the steady sines, used in turn


def dbfs(db):
    return 10.0 ** (db / 20.0)


def sine(freq, rate, decaying, level, length=SINE_LENGTH):
    """A pure sine: steady at `level` dBFS, or struck like a tuning fork (full level at once,
    then an exponential decay from -3 to -40 dBFS over the note), with LEAD seconds of silence
    before and 0.2 s after."""
    n = int(round(length * rate))
    t = np.arange(n) / rate
    if decaying:
        env = dbfs(-3) * (dbfs(-40) / dbfs(-3)) ** (t / length)
        env *= np.minimum(t / 0.002, 1.0)
    else:
        env = dbfs(level) * np.minimum(t / 0.01, 1.0)
    env *= np.clip((length - t) / 0.02, 0.0, 1.0)
    x = env * np.sin(2 * np.pi * freq * t)
    return np.concatenate([np.zeros(int(round(LEAD * rate))), x, np.zeros(int(round(0.2 * rate)))])


def make_sines(out):
    entries = []
    notes = list(range(28, 101, 6))  # E1, Bb1, E2, ... E7
    i = 0
    for note in notes:
        for decaying in (False, True):
            det = DETUNES[i % len(DETUNES)]
            level = SINE_LEVELS[i % len(SINE_LEVELS)]
            i += 1
            freq = midi_freq(note, det)
            tag = "fork" if decaying else "%+ddB" % level
            name = "sine_%s_%s_%+d.wav" % (tag, note_name(note), det)
            write_wav(os.path.join(out, name), sine(freq, SYNTH_RATE, decaying, level),
                      SYNTH_RATE)
            entries.append(
                dict(file=name, kind="sine",
                     category="sine decaying" if decaying else "sine steady", onset=LEAD,
                     end=LEAD + SINE_LENGTH - 0.05, note=note, detune=det, nominal=freq,
                     truth=freq, measured=None))
    return entries


NOISE_LENGTH = 4.0  # seconds
NOISE_LEVELS = [-40, -26, -10, -1]  # dBFS, the largest sample of the file


def coloured_noise(colour, n, rng):
    """White, pink (power falling as 1/f) or brown (1/f^2) noise, shaped in one long spectrum;
    below 5 Hz the shaping stops, so brown noise does not wander off as a slow drift."""
    white = rng.normal(0.0, 1.0, n)
    if colour == "white":
        return white
    spectrum = np.fft.rfft(white)
    f = np.maximum(np.fft.rfftfreq(n, 1.0 / SYNTH_RATE), 5.0)
    spectrum /= np.sqrt(f) if colour == "pink" else f
    return np.fft.irfft(spectrum, n)


def make_noise(out):
    """Noise alone at several levels, and digital silence: no note anywhere, so every frame
    that shows a reading is a false one."""
    rng = np.random.default_rng(15)
    n = int(round(NOISE_LENGTH * SYNTH_RATE))
    entries = []
    for colour in ("white", "pink", "brown"):
        for level in NOISE_LEVELS:
            x = coloured_noise(colour, n, rng)
            x *= dbfs(level) / np.max(np.abs(x))
            name = "noise_%s_%+ddB.wav" % (colour, level)
            write_wav(os.path.join(out, name), x, SYNTH_RATE)
            entries.append(dict(file=name, kind="noise", category="noise only", onset=0.0,
                                end=NOISE_LENGTH, note=None, truth=None))
    name = "silence.wav"
    write_wav(os.path.join(out, name), np.zeros(n), SYNTH_RATE)
    entries.append(dict(file=name, kind="noise", category="silence", onset=0.0, end=NOISE_LENGTH,
                        note=None, truth=None))
    return entries


# ---------------------------------------------------------------- rendered instruments

# (category, General MIDI program, notes). Guitars: open strings, then fretted notes.
INSTRUMENTS = [
    ("nylon guitar", 24, [40, 45, 50, 55, 59, 64, 42, 48, 53, 57, 61, 67, 71]),
    ("steel guitar", 25, [40, 45, 50, 55, 59, 64, 43, 47, 52, 58, 62, 69, 72]),
    ("electric bass", 33, [28, 33, 38, 43, 29, 31, 36, 40]),
    ("acoustic bass", 32, [28, 33, 38, 43, 30, 35, 37, 41]),
    ("piano", 0, [33, 40, 45, 52, 57, 60, 64, 69, 76, 84]),
    ("violin", 40, [55, 62, 69, 76, 59, 66, 72, 81]),
    ("cello", 42, [36, 43, 50, 57, 40, 47, 53, 62]),
    ("flute", 73, [60, 64, 67, 72, 76, 79, 84, 88]),
    ("trumpet", 56, [55, 58, 60, 65, 67, 70, 72, 77]),
    ("saxophone", 65, [49, 53, 56, 60, 63, 68, 72, 75]),
    ("voice", 53, [48, 52, 55, 57, 60, 64, 67, 72]),
]
REDUCED_NOTES = 3  # notes per instrument in the reduced run (each plain and bent)

SLOT = 3.0  # seconds per note in the rendered stream
HOLD = 1.6  # note-on to note-off
TICKS_PER_SECOND = 1000  # division 500 ticks a quarter at the default 120 bpm


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append((n & 0x7F) | 0x80)
        n >>= 7
    return bytes(reversed(out))


def write_midi(path, program, notes):
    """A type-0 MIDI file: each (note, bend cents) gets a slot of SLOT seconds with the bend set
    first, the note held for HOLD seconds after LEAD, and every sound cut well before the next."""
    events = []  # (seconds, bytes)
    events.append((0.0, bytes([0xC0, program])))
    # Pitch-bend range: two half-steps (RPN 0), stated rather than assumed.
    for cc, val in ((101, 0), (100, 0), (6, 2), (38, 0), (101, 127), (100, 127), (7, 110)):
        events.append((0.0, bytes([0xB0, cc, val])))
    for i, (note, cents) in enumerate(notes):
        t0 = 0.5 + i * SLOT
        bend = 8192 + int(round(cents / 200.0 * 8192))
        events.append((t0, bytes([0xE0, bend & 0x7F, bend >> 7])))
        events.append((t0 + LEAD, bytes([0x90, note, 100])))
        events.append((t0 + LEAD + HOLD, bytes([0x80, note, 64])))
        events.append((t0 + SLOT - 0.4, bytes([0xB0, 120, 0])))  # all sound off
    track = b""
    last = 0
    for t, ev in sorted(events, key=lambda e: e[0]):
        tick = int(round(t * TICKS_PER_SECOND))
        track += vlq(tick - last) + ev
        last = tick
    track += vlq(int(0.5 * TICKS_PER_SECOND)) + b"\xff\x2f\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 500))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def make_rendered(out, reduced, log):
    entries = []
    i = 0
    for cat, program, notes in INSTRUMENTS:
        if reduced:
            # Lowest, middle and highest of the list.
            notes = [notes[0], notes[len(notes) // 2], notes[-1]][:REDUCED_NOTES]
        plan = []
        for note in notes:
            det = DETUNES[i % len(DETUNES)] or 21
            i += 1
            plan += [(note, 0), (note, det)]
        slug = cat.replace(" ", "_")
        mid = os.path.join(out, "render_%s.mid" % slug)
        raw = os.path.join(out, "render_%s.wav" % slug)
        write_midi(mid, program, plan)
        subprocess.run(
            ["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.5", "-r",
             str(RENDER_RATE), "-F", raw, SOUNDFONT, mid],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        audio, rate = read_wav(raw)
        for j, (note, det) in enumerate(plan):
            a = int(round((0.5 + j * SLOT) * rate))
            b = int(round((0.5 + j * SLOT + LEAD + HOLD + 0.6) * rate))
            x = audio[a:b].copy()
            peak = np.max(np.abs(x))
            if peak <= 0:
                raise RuntimeError("%s: note %d rendered silent" % (cat, note))
            x *= 0.5 / peak
            name = "%s_%s_%+d.wav" % (slug, note_name(note), det)
            write_wav(os.path.join(out, name), x, rate)
            nominal = midi_freq(note, det)
            sustain = x[int((LEAD + 0.25) * rate):int((LEAD + HOLD - 0.05) * rate)]
            measured = truepitch.estimate(sustain, rate, nominal)
            off = 1200 * np.log2(measured / nominal)
            # The measured pitch is the truth: the renderer sets pitch only to the whole cent and
            # some samples are themselves out of tune; those off by more than the tolerance are
            # listed.
            truth = measured
            if abs(off) > truepitch.TOLERANCE_CENTS:
                log.append("%-34s nominal %9.3f Hz, measured %9.3f Hz (%+.2f cents)"
                           % (name, nominal, measured, off))
            # The note's own pitch over 93 ms frames lying inside the note, like the frames
            # the analysers are judged on.
            times, own = truepitch.wander(x, rate, truth, LEAD, LEAD + HOLD)
            entries.append(
                dict(file=name, kind="instrument", category=cat, onset=LEAD, end=LEAD + HOLD,
                     note=note, detune=det, nominal=nominal, truth=float(truth),
                     measured=float(measured),
                     own=[round(float(abs(c)), 3) for c in own],
                     own_settle=truepitch.steady_time(times, own, LEAD)))
        os.remove(raw)
    return entries


def build(out, reduced, snrs):
    os.makedirs(out, exist_ok=True)
    shutil.rmtree(os.path.join(out, "peer-cache"), ignore_errors=True)
    for f in os.listdir(out):
        if f.endswith((".wav", ".mid", ".csv", ".txt", ".json")):
            os.remove(os.path.join(out, f))
    log = []
    entries = (make_synthetic(out, reduced, snrs) + make_sines(out) + make_noise(out) +
               make_rendered(out, reduced, log))
    manifest = dict(entries=entries, out_of_tune=log, reduced=reduced)
    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    return manifest
