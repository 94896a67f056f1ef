"""Runs the two analysers on one file and returns their readings as (frame end time, midi note
named, frequency or None when unsettled), and times the analysis alone on a long file."""

import math
import re
import resource
import subprocess
import time

import numpy as np

RATE = 11025
FRAME = 1024
HOP = 128
NAMES = {"C": 0, "C#": 1, "D": 2, "Eb": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "G#": 8, "A": 9,
         "Bb": 10, "B": 11}


def ours(binary, path, hop=HOP):
    """tarvo-analyse: a frame is settled while the tracker does not hold; the reading is the
    tracker's note, octave and averaged frequency."""
    out = subprocess.run([binary, "--hop", str(hop), path], check=True, capture_output=True,
                         text=True).stdout
    frames = []
    for line in out.splitlines()[1:]:
        t, note, octave, _cents, _level, freq, hold = line.split(",")
        midi = 12 * (int(octave) + 1) + NAMES[note]
        f = float(freq)
        settled = hold.strip() == "0" and f > 0
        frames.append((float(t), midi, f if settled else None))
    return frames


def ours_frames(binary, path, hop=HOP):
    """tarvo-analyse --classes, before the tracker: each frame's loudest class (the first on
    ties, as the frame update picks it), settled whenever it holds a pitch. It shows what the
    frames themselves say, apart from the tracker's hold and averaging."""
    out = subprocess.run([binary, "--classes", "--hop", str(hop), path], check=True,
                         capture_output=True, text=True).stdout
    best = {}
    for line in out.splitlines()[1:]:
        t, _cls, note, octave, _cents, level, freq = line.split(",")
        level = float(level)
        if t not in best or level > best[t][0]:
            best[t] = (level, 12 * (int(octave) + 1) + NAMES[note], float(freq))
    return [(float(t), midi, f if level > -90.0 and f > 0 else None)
            for t, (level, midi, f) in best.items()]


def aubio(method, path):
    """aubiopitch at 11025 Hz, 1024-sample frames, hop 128. It prints the time of the first
    sample of the newest hop; the frame ends a hop later. A reading of 0 is no pitch."""
    cmd = ["aubiopitch", "-i", path, "-r", str(RATE), "-B", str(FRAME), "-H", str(HOP), "-p",
           method, "-u", "Hz"]
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    frames = []
    for line in out.splitlines():
        t, f = line.split()
        f = float(f)
        ok = 20.0 < f < RATE / 2
        midi = int(round(69 + 12 * math.log2(f / 440.0))) if ok else -1
        frames.append((float(t) + HOP / RATE, midi, f if ok else None))
    return frames


def child_cpu(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    res = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return res, cpu


def time_ours(binary, long_path, short_path, seconds):
    """CPU seconds per second of audio of our analysis. tarvo-analyse --time reports the CPU time
    of the analysis loop alone (input level, frame analysis, tracking) on standard error; without
    that option the fallback is the process's CPU time on the long file minus that on a short one,
    which still counts decoding and printing."""
    res, cpu = child_cpu([binary, "--time", long_path])
    m = re.search(r"analysis cpu ([0-9.eE+-]+) s", res.stderr or "")
    if res.returncode == 0 and m:
        return float(m.group(1)) / seconds, "analysis loop (tarvo-analyse --time)"
    best = None
    for _ in range(3):
        _, cpu_long = child_cpu([binary, long_path])
        _, cpu_short = child_cpu([binary, short_path])
        v = (cpu_long - cpu_short) / seconds
        best = v if best is None else min(best, v)
    return best, "whole process, long file minus short file (decode and output included)"


def time_aubio(method, samples):
    """CPU seconds per second of audio of aubio's pitch object alone, fed the hops of an
    11025 Hz signal already in memory; the cost of the same Python loop around a no-op is taken
    off. Best of three."""
    import aubio as aubio_module

    hops = np.ascontiguousarray(samples[: len(samples) // HOP * HOP], dtype=np.float32)
    hops = hops.reshape(-1, HOP)
    seconds = hops.size / RATE
    best = None
    for _ in range(3):
        p = aubio_module.pitch(method, FRAME, HOP, RATE)
        p.set_unit("Hz")
        t0 = time.process_time()
        for h in hops:
            p(h)
        t1 = time.process_time()
        nop = lambda h: 0  # noqa: E731
        for h in hops:
            nop(h)
        t2 = time.process_time()
        v = ((t1 - t0) - (t2 - t1)) / seconds
        best = v if best is None else min(best, v)
    return best
