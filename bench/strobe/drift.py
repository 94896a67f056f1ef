"""The strobe of the real tuner, measured from its window: how fast each band's pattern drifts.

Starts build/default/tarvo-tuner on Xvfb (with twm) on simulated input, switches it to the strobe
with the S key and reads each band's pattern off successive screenshots of the window. A band's
phase is where the first harmonic of its row of pixels puts the pattern (0..1 of a period, more
to the right); phases are unwrapped between shots (each step taken as the whole number of periods
nearest to the drift so far predicts, so a shot delayed by a busy machine does not lose a turn)
and a straight line through them gives the drift in periods a second, which is the band's error
in cents.

Two recordings, made here: A3 played half a cent sharp with exact harmonics of amplitude 1 / k
(every band drifts right at 0.5), and A3 with stretched partials, partial k at k f (1 + B k^2)
and of amplitude 1 / k^2, falling off as a struck string's do (the upper bands drift faster than
band 1). Band 1 follows the reading, whose frequency is the amplitude-weighted mean of f_k / k
over the partials up to the fifth, so it is stretched too: with partials falling only as 1 / k
(--fall 1) it reads sharper than partial 2.

  bench/strobe/run.sh [--seconds S] [--b B] [--fall P] [--docs]

--docs also writes docs/window-strobe.png and docs/strobe.gif (the stretched tone).
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RATE = 11025
A3 = 220.0
# The bands in the client area (StrobeGauge::BandArea): 216 columns from x 62, rows 40 high from
# y 107, one every 47 rows.
BAND_X, BAND_W, BAND_Y, BAND_PITCH, BAND_H = 62, 216, 107, 47, 40
PERIOD = 24


def write_tone(path, partials, seconds):
    """partials: (frequency, amplitude) pairs; 16-bit mono at RATE."""
    t = np.arange(int(seconds * RATE)) / RATE
    signal = sum(a * np.sin(2 * math.pi * f * t) for f, a in partials)
    signal *= 0.5 * 32767 / np.max(np.abs(signal))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(signal.astype("<i2").tobytes())


def shoot(window):
    """The client area as an array of rows of (r, g, b), and the time it was taken."""
    before = time.monotonic()
    raw = subprocess.run(["import", "-window", window, "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    after = time.monotonic()
    return np.frombuffer(raw, np.uint8).reshape(380, 300, 3), (before + after) / 2


def phases(image):
    """Each band's pattern position in periods, 0..1, from its middle row."""
    x = np.arange(BAND_W) + 0.5
    out = []
    for k in range(4):
        y = BAND_Y + k * BAND_PITCH + BAND_H // 2
        row = image[y, BAND_X:BAND_X + BAND_W].astype(float)
        cover = 1.0 - row.min(axis=1) / 255.0  # how much of the block colour each column shows
        a = np.sum(cover * np.cos(2 * math.pi * x / PERIOD))
        b = np.sum(cover * np.sin(2 * math.pi * x / PERIOD))
        # A block starting at o has its centre, where the first harmonic peaks, at o + 12 / 2.
        out.append((math.atan2(b, a) / (2 * math.pi) - 0.25) % 1.0)
    return out


def drift(times, series):
    """Periods a second, and periods moved: unwrapped phases against time, least squares."""
    t = np.array(times) - times[0]
    unwrapped = [series[0]]
    speed = 0.0
    for i, p in enumerate(series[1:], 1):
        expected = unwrapped[-1] + speed * (t[i] - t[i - 1])
        unwrapped.append(p + round(expected - p))
        if i >= 4:
            speed = np.polyfit(t[:i + 1], unwrapped, 1)[0]
    slope, _ = np.polyfit(t, unwrapped, 1)
    return slope, unwrapped[-1] - unwrapped[0]


def run_tuner(work, tone, seconds, docs):
    # Each run starts from the needle: the previous run saved its choice of the strobe.
    for name in ("state.txt", "state-extra.txt"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))
    env = dict(os.environ, TARVO_SIMULATED_INPUT=tone, QT_QPA_PLATFORM="xcb")
    env.pop("WAYLAND_DISPLAY", None)
    tuner = subprocess.Popen([os.path.join(ROOT, "build/default/tarvo-tuner")], cwd=work, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = subprocess.run(["timeout", "20", "xdotool", "search", "--sync", "--onlyvisible",
                                 "--name", "^Tarvo Instrument Tuner"], check=True,
                                capture_output=True, text=True).stdout.split()[0]
        subprocess.run(["xdotool", "mousemove", "--window", window, "170", "200"], check=True)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "s"], check=True)
        time.sleep(3.0)  # the reading settles
        times, series, frames = [], [], []
        start = time.monotonic()
        end = start + seconds
        while time.monotonic() < end:
            if docs:  # the animation's frames a tenth of a second apart
                time.sleep(max(0.0, start + 0.1 * len(times) - time.monotonic()))
            image, t = shoot(window)
            times.append(t)
            series.append(phases(image))
            if docs and len(frames) < 40:
                frames.append(image.copy())
        if docs:
            subprocess.run(["import", "-frame", "-window", window,
                            os.path.join(ROOT, "docs/window-strobe.png")], check=True)
        subprocess.run(["xdotool", "key", "--window", window, "--clearmodifiers", "e"], check=True)
        tuner.wait(timeout=20)
    finally:
        if tuner.poll() is None:
            tuner.kill()
    return times, series, frames


def write_gif(frames, times, path, work):
    names = []
    for i, image in enumerate(frames):
        name = os.path.join(work, "frame%03d.rgb" % i)
        with open(name, "wb") as f:
            f.write(image.tobytes())
        names.append(name)
    delay = round(100 * (times[len(frames) - 1] - times[0]) / max(1, len(frames) - 1))
    args = ["convert", "-size", "300x380", "-depth", "8", "-delay", str(delay), "-loop", "0"]
    # A loop of whole frames from the first shot on: each is a picture of the window as it was.
    for name in names:
        args += ["rgb:" + name]
    subprocess.run(args + ["-layers", "Optimize", path], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=10.0, help="measured per tone (10)")
    parser.add_argument("--b", type=float, default=1e-4, help="stretch B of the partials (1e-4)")
    parser.add_argument("--fall", type=float, default=2.0,
                        help="stretched partial k has amplitude 1 / k^P (2)")
    parser.add_argument("--docs", action="store_true", help="write the README's pictures")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if not args.inside:
        cmd = ["xvfb-run", "-a", "-s", "-screen 0 640x480x24", sys.executable, "-B",
               os.path.abspath(__file__), "--inside", "--seconds", str(args.seconds), "--b",
               str(args.b), "--fall", str(args.fall)] + (["--docs"] if args.docs else [])
        sys.exit(subprocess.run(cmd).returncode)

    work = tempfile.mkdtemp()
    twm = None
    try:
        data = os.path.join(ROOT, "build/default/data")
        for name in os.listdir(data):
            if name.endswith(".bmp") or name == "tarvohelp.htm":
                shutil.copy(os.path.join(data, name), work)
        with open(os.path.join(work, "twmrc"), "w") as f:
            f.write('RandomPlacement\nUsePPosition "on"\nNoGrabServer\nBorderWidth 1\n'
                    'TitleFont "fixed"\n')
        twm = subprocess.Popen(["twm", "-f", os.path.join(work, "twmrc")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        sharp = A3 * 2 ** (0.5 / 1200)
        tones = [
            ("A3 half a cent sharp", [(k * sharp, 1.0 / k) for k in range(1, 7)],
             [0.5] * 4),
            ("A3, partials k f (1 + %g k^2), 1/k^%g" % (args.b, args.fall),
             [(k * A3 * (1 + args.b * k * k), k ** -args.fall) for k in range(1, 7)],
             [1200 * math.log2(1 + args.b * k * k) for k in range(1, 5)]),
        ]
        print("%-38s %4s %10s %14s %9s %6s" % ("tone", "band", "cents", "periods/s", "moved", "shots"))
        for i, (name, partials, cents) in enumerate(tones):
            path = os.path.join(work, "tone%d.wav" % i)
            write_tone(path, partials, args.seconds + 20)
            docs = args.docs and i == 1
            times, series, frames = run_tuner(work, path, args.seconds, docs)
            for k in range(4):
                speed, moved = drift(times, [s[k] for s in series])
                print("%-38s %4d %+10.3f %+14.3f %+9.2f %6d" % (name if k == 0 else "", k + 1,
                      cents[k], speed, moved, len(times)))
            if docs:
                write_gif(frames, times, os.path.join(ROOT, "docs/strobe.gif"), work)
                print("wrote docs/window-strobe.png and docs/strobe.gif")
    finally:
        if twm:
            twm.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
