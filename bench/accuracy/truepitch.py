"""An independent, slow, high-resolution pitch estimate of a sustained note.

Over the whole sustained part of the note (more than a second), each of harmonics 1 to 6 is cut
out of the spectrum with a band half a harmonic spacing wide on either side, turned into an
analytic signal, and its unwrapped phase is fitted by a straight line (weighted by the
harmonic's amplitude): the slope is the harmonic's mean frequency over the whole note, immune
to the spectral splitting that vibrato causes in a peak-picking estimate. The fundamental is the
amplitude-weighted median of f_k / k over the harmonics at least a tenth as strong as the
strongest; stopping at the sixth and taking a median keep the stretched upper partials of a
piano string from pulling it sharp.
"""

import numpy as np

TOLERANCE_CENTS = 0.5  # a sample further than this from its nominal pitch is "out of tune"


def _band(spectrum, n, rate, lo_hz, hi_hz):
    """Analytic signal of what lies between lo_hz and hi_hz in a full-length spectrum."""
    lo, hi = int(np.ceil(lo_hz * n / rate)), int(np.floor(hi_hz * n / rate))
    band = np.zeros(n, dtype=complex)
    band[lo : hi + 1] = 2 * spectrum[lo : hi + 1]
    return np.fft.ifft(band)


def _harmonic(spectrum, n, rate, lo_hz, hi_hz):
    """Amplitude and mean frequency of the partial between lo_hz and hi_hz."""
    a = _band(spectrum, n, rate, lo_hz, hi_hz)
    trim = n // 10  # the band edges ring at both ends of the circular signal
    a = a[trim : n - trim]
    w = np.abs(a)
    if w.max() <= 0:
        return 0.0, 0.0
    ph = np.unwrap(np.angle(a))
    t = np.arange(len(a)) / rate
    tm = np.sum(w * t) / np.sum(w)
    pm = np.sum(w * ph) / np.sum(w)
    slope = np.sum(w * (t - tm) * (ph - pm)) / np.sum(w * (t - tm) ** 2)
    return float(np.sqrt(np.mean(w * w))), float(slope / (2 * np.pi))


def estimate(x, rate, nominal, harmonics=6):
    n = len(x)
    spectrum = np.fft.fft(x)
    found = []
    for k in range(1, harmonics + 1):
        if (k + 0.5) * nominal > 0.45 * rate:
            break
        amp, f = _harmonic(spectrum, n, rate, (k - 0.5) * nominal, (k + 0.5) * nominal)
        if amp > 0 and f > 0:
            found.append((f / k, amp))
    if not found:
        return nominal
    strongest = max(m for _, m in found)
    use = sorted((f, m) for f, m in found if m >= 0.1 * strongest)
    # Amplitude-weighted median: one partial off on its own (a beating pair inside a sample's
    # loop) cannot move it, unlike a mean.
    total = sum(m for _, m in use)
    acc = 0.0
    for i, (f, m) in enumerate(use):
        acc += m
        if acc >= 0.5 * total:
            if abs(acc - 0.5 * total) < 1e-12 * total and i + 1 < len(use):
                return 0.5 * (f + use[i + 1][0])
            return f
    return use[-1][0]


def wander(x, rate, f0, start, stop, window=1024 / 11025, step=0.01, harmonics=6):
    """How far the note's own pitch strays from f0: for frames of `window` seconds every `step`
    seconds lying between start and stop, the amplitude-weighted median over harmonics 1-6 of
    each harmonic's mean frequency in the frame (its phase advance across the frame), in cents
    from f0. Returns the frames' end times and those cents. Tells what part of an analyser's
    error is the instrument's vibrato or drift."""
    n = len(x)
    spectrum = np.fft.fft(x)
    tracks = []
    for k in range(1, harmonics + 1):
        if (k + 0.5) * f0 > 0.45 * rate:
            break
        a = _band(spectrum, n, rate, (k - 0.5) * f0, (k + 0.5) * f0)
        tracks.append((k, np.unwrap(np.angle(a)), np.abs(a)))
    if not tracks:
        return np.zeros(0), np.zeros(0)
    half = int(window * rate / 2)
    times = np.arange(start + window / 2, stop - window / 2 + 1e-9, step)
    idx = (times * rate).astype(int)
    idx = idx[(idx - half >= 0) & (idx + half < n)]
    est = []
    amps = []
    for k, ph, amp in tracks:
        est.append((ph[idx + half] - ph[idx - half]) / (2 * np.pi * 2 * half / rate) / k)
        amps.append(np.array([amp[i - half : i + half].mean() for i in idx]))
    est = np.array(est)
    amps = np.array(amps)
    out = []
    for j in range(est.shape[1]):
        m = amps[:, j]
        keep = m >= 0.1 * m.max()
        f, w = est[keep, j], m[keep]
        order = np.argsort(f)
        f, w = f[order], w[order]
        c = np.searchsorted(np.cumsum(w), 0.5 * w.sum())
        out.append(1200 * np.log2(max(f[min(c, len(f) - 1)], 1e-9) / f0))
    return idx / rate + window / 2, np.array(out)


def steady_time(times, cents, onset, within=5.0, steady=0.05):
    """Time from onset to the first frame (by its end time) within `within` cents that stays
    so for `steady` seconds; inf when none does."""
    good = np.abs(cents) <= within
    for i in range(len(times)):
        if not good[i]:
            continue
        j = i
        while j + 1 < len(times) and times[j + 1] <= times[i] + steady and good[j + 1]:
            j += 1
        if j + 1 >= len(times) or times[j + 1] > times[i] + steady:
            return float(times[i] - onset)
    return float("inf")
