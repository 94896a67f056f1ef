"""The live tuner against its own offline analysis, on one recording of note changes.

The recording: 32 notes of 2.5 s each, one straight after the other, from E1 to E6, in turn a
harmonic tone (partials 1/k, random phases) and an instrument rendered by fluidsynth from
FluidR3_GM (basses, guitars, piano, cello, violin, trumpet, saxophone, voice, flute), at the
tuner's 11025 Hz. bench_live plays it in real time to the real window through each device and
logs every window update; tarvo-analyse reads the same recording.

For each note change inside the measured stretch:
  settled  where the reading settles: the most frequent note of the readings 0.6 to 1.5 s after
           the change, and the median of their percents (cents) on that note
  latency  live: time from the change in the audio to the first window update that shows the
           settled note within 5 cents of where it settles
  settle   tarvo-analyse: the same, to the first frame (frame end time) doing so, at the hop the
           live tuner runs at (the floor) and at 128
Besides: the process's CPU as a share of one core, window updates per second and the longest gap
between two while the notes sound (the whole measured stretch: the notes follow each other).
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import wave

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "accuracy"))
from corpus import SOUNDFONT, vlq  # noqa: E402  (the accuracy bench's renderer settings)

RATE = 11025
RENDER_RATE = 44100
SEGMENT = 2.5  # seconds per note
WITHIN = 5  # cents
SETTLED_FROM, SETTLED_TO = 0.6, 1.5  # seconds after a change: where the reading has settled

# (kind, midi note, cents off the note) in playing order; kind "tone" or a General MIDI program.
TONES = [(28, -20), (88, 12), (40, 0), (76, 23), (33, -8), (64, 31), (45, 4), (81, -15),
         (52, 17), (69, -33), (38, 9), (57, -4), (31, 26), (84, -11), (48, 2), (72, 40)]
INSTRUMENTS = [(33, 28), (0, 84), (24, 40), (73, 88), (40, 76), (42, 36), (25, 64), (56, 60),
               (65, 56), (53, 60), (0, 45), (32, 33), (73, 79), (40, 69), (24, 52), (0, 57)]


def render(program, note, seconds, path):
    """One note held for `seconds`, from the start, by fluidsynth at RENDER_RATE."""
    ticks = 1000  # per second: 500 a quarter at 120 bpm
    events = [(0, bytes([0xC0, program])), (0, bytes([0xB0, 7, 110])),
              (0, bytes([0x90, note, 100])), (int(seconds * ticks), bytes([0x80, note, 64]))]
    track, last = b"", 0
    for t, ev in events:
        track += vlq(t - last) + ev
        last = t
    track += vlq(200) + b"\xff\x2f\x00"
    mid = path + ".mid"
    with open(mid, "wb") as f:
        f.write(b"MThd" + (6).to_bytes(4, "big") + b"\x00\x00\x00\x01\x01\xf4")
        f.write(b"MTrk" + len(track).to_bytes(4, "big") + track)
    wav = path + ".44k.wav"
    subprocess.run(["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.5", "-r",
                    str(RENDER_RATE), "-F", wav, SOUNDFONT, mid], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    low = path + ".wav"
    subprocess.run(["sox", "-D", wav, "-r", str(RATE), "-c", "1", low], check=True)
    with wave.open(low, "rb") as w:
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64) / 32768
    for f in (mid, wav, low):
        os.remove(f)
    return x


def tone(midi, cents, n, rng):
    f = 440.0 * 2.0 ** ((midi - 69 + cents / 100.0) / 12.0)
    t = np.arange(n) / RATE
    x = np.zeros(n)
    k = 1
    while k * f < 0.45 * RATE and k <= 16:
        x += np.sin(2 * np.pi * k * f * t + rng.uniform(0, 2 * np.pi)) / k
        k += 1
    return x * np.minimum(t / 0.01, 1.0) * np.exp(-t / 2.5)


def make_recording(out):
    rng = np.random.default_rng(14)
    n = int(SEGMENT * RATE)
    parts, schedule = [], []
    with tempfile.TemporaryDirectory() as tmp:
        for i in range(2 * len(TONES)):
            if i % 2 == 0:
                midi, cents = TONES[i // 2]
                x = tone(midi, cents, n, rng)
                kind = "tone"
            else:
                program, midi = INSTRUMENTS[i // 2]
                x = render(program, midi, SEGMENT, os.path.join(tmp, "n%d" % i))[:n]
                x = np.concatenate([x, np.zeros(n - len(x))])
                kind = "program %d" % program
            fade = np.clip((n - 1 - np.arange(n)) / (0.005 * RATE), 0.0, 1.0)
            x = x * fade * 0.5 / max(np.max(np.abs(x)), 1e-9)
            parts.append(x)
            schedule.append(dict(start=i * SEGMENT, midi=midi, kind=kind))
    samples = np.clip(np.round(np.concatenate(parts) * 32767), -32768, 32767).astype("<i2")
    samples.tofile(os.path.join(out, "recording.raw"))
    with wave.open(os.path.join(out, "recording.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    with open(os.path.join(out, "schedule.json"), "w") as f:
        json.dump(schedule, f, indent=0)
    return schedule


def settled(readings, t0):
    """(note, octave, percent) where the readings settle after a change at t0, or None."""
    window = [r for r in readings if t0 + SETTLED_FROM <= r[0] <= t0 + SETTLED_TO]
    if not window:
        return None
    counts = {}
    for _t, note, octave, _p in window:
        counts[(note, octave)] = counts.get((note, octave), 0) + 1
    best = max(counts, key=counts.get)
    return best + (statistics.median(p for _t, n, o, p in window if (n, o) == best),)


def times_to_settle(readings, changes):
    """Per change (t0, t1): seconds from t0 to the first reading before t1 that shows the settled
    note within WITHIN cents of the settled percent (None if never)."""
    out = []
    for t0, t1 in changes:
        s = settled(readings, t0)
        if s is None:
            out.append(None)
            continue
        hit = next((t for t, n, o, p in readings if t0 <= t < t1 and (n, o) == s[:2]
                    and abs(p - s[2]) <= WITHIN), None)
        out.append(None if hit is None else hit - t0)
    return out


def summary(values):
    got = sorted(v for v in values if v is not None)
    if not got:
        return "     -      -"
    return "%6.0f %6.0f" % (1000 * statistics.median(got), 1000 * np.percentile(got, 90))


NAMES = {"C": 0, "C#": 1, "D": 2, "Eb": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "G#": 8, "A": 9,
         "Bb": 10, "B": 11}


def offline(tarvo, wav, hop):
    out = subprocess.run([tarvo, "--hop", str(hop), wav], check=True, capture_output=True,
                         text=True).stdout
    readings = []
    for line in out.splitlines()[1:]:
        t, note, octave, cents, _level, _freq, _hold = line.split(",")
        readings.append((float(t), NAMES[note], int(octave), round(float(cents))))
    return readings


def live(bench, device, raw, warmup, seconds, log, xvfb):
    cmd = [bench, "--device", device, "--recording", raw, "--warmup", str(warmup), "--seconds",
           str(seconds), "--log", log]
    env = dict(os.environ)
    if xvfb:
        cmd = ["xvfb-run", "-a", "-s", "-screen 0 640x480x24"] + cmd
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        env["QT_QPA_PLATFORM"] = "offscreen"
    res = subprocess.run(cmd, capture_output=True, text=True, env=env)
    report = [line for line in res.stdout.splitlines() if line and not line.startswith("check")]
    if res.returncode != 0:
        raise RuntimeError("bench_live --device %s failed (%d): %s" % (device, res.returncode,
                                                                       res.stdout + res.stderr))
    readings, measured = [], None
    with open(log) as f:
        for line in f:
            if line.startswith("# measured"):
                measured = tuple(float(v) for v in line.split()[2:4])
            elif line[0].isdigit():
                t, note, octave, percent = line.split(",")
                readings.append((float(t), int(note), int(octave), int(percent)))
    return report, readings, measured


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.path.join(root, "build", "default")
    ap.add_argument("--out", default=os.path.join(root, "build", "live"), help="work folder")
    ap.add_argument("--bench", default=os.path.join(build, "bench", "bench_live"))
    ap.add_argument("--tarvo", default=os.path.join(build, "tarvo-analyse"))
    ap.add_argument("--devices", default="sim,portaudio")
    ap.add_argument("--warmup", type=float, default=15.0)
    ap.add_argument("--seconds", type=float, default=60.0)
    ap.add_argument("--floor", type=int, default=32, help="the live hop at 11025 Hz")
    ap.add_argument("--xvfb", action="store_true", help="show the window on Xvfb, not offscreen")
    ap.add_argument("--keep-recording", action="store_true", help="reuse the recording")
    args = ap.parse_args()
    if args.warmup + args.seconds + 2 > 2 * len(TONES) * SEGMENT:
        ap.error("the recording lasts %.0f s" % (2 * len(TONES) * SEGMENT))

    os.makedirs(args.out, exist_ok=True)
    sched_path = os.path.join(args.out, "schedule.json")
    if args.keep_recording and os.path.exists(sched_path):
        with open(sched_path) as f:
            schedule = json.load(f)
    else:
        schedule = make_recording(args.out)
    starts = [s["start"] for s in schedule] + [len(schedule) * SEGMENT]
    raw = os.path.join(args.out, "recording.raw")
    wav = os.path.join(args.out, "recording.wav")

    rows = []
    lives = {}
    for device in args.devices.split(","):
        log = os.path.join(args.out, "updates-%s.csv" % device)
        report, readings, (m0, m1) = live(args.bench, device, raw, args.warmup, args.seconds,
                                          log, args.xvfb)
        print("\n".join(report))
        # Changes whose note and settling lie inside the measured stretch.
        changes = [(starts[i], starts[i + 1]) for i in range(1, len(schedule))
                   if starts[i] >= m0 and starts[i] + SETTLED_TO <= m1]
        inside = [t for t, *_ in readings if m0 <= t <= m1]
        gaps = [b - a for a, b in zip(inside, inside[1:])]
        lives[device] = (changes, times_to_settle(readings, changes))
        rows.append((device, len(inside) / (m1 - m0), 1000 * max(gaps) if gaps else 0.0,
                     report))
        print()

    changes = next(iter(lives.values()))[0]
    print("note changes measured: %d (of %d in the recording)" % (len(changes),
                                                                    len(schedule) - 1))
    print("%-22s %9s %9s   %s" % ("", "updates/s", "gap ms", "to the settled reading (ms): "
                                  "median   p90  never"))
    for device, rate, gap, report in rows:
        ch, lat = lives[device]
        print("%-22s %9.1f %9.1f   %28s %5d" % ("live, " + device, rate, gap, summary(lat),
                                                 sum(v is None for v in lat)))
    for hop in (args.floor, 128):
        st = times_to_settle(offline(args.tarvo, wav, hop), changes)
        print("%-22s %9s %9s   %28s %5d" % ("tarvo-analyse --hop %d" % hop, "", "", summary(st),
                                            sum(v is None for v in st)))
    cpu = [(d, re.search(r"= ([0-9.]+) % of one core", "\n".join(r))) for d, _r, _g, r in rows]
    print("cpu: " + ", ".join("%s %s %%" % (d, m.group(1) if m else "?") for d, m in cpu))
    return 0


if __name__ == "__main__":
    sys.exit(main())
