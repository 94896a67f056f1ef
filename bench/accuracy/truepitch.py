"""An independent, slow, high-resolution pitch estimate of a sustained note.

Over the whole sustained part of the note (more than a second), each of harmonics 1 to 4 is cut
out of the spectrum with a band half a harmonic spacing wide on either side, turned into an
analytic signal, and its unwrapped phase is fitted by a straight line (weighted by the
harmonic's amplitude): the slope is the harmonic's mean frequency over the whole note, immune
to the spectral splitting that vibrato causes in a peak-picking estimate. The fundamental is the
power-weighted mean of f_k / k over the harmonics at least a tenth as strong as the strongest;
stopping at the fourth keeps the stretched upper partials of a piano string from pulling it
sharp.
"""

import numpy as np

TOLERANCE_CENTS = 0.5  # a sample further than this from its nominal pitch is "out of tune"


def _harmonic(spec, n, rate, lo_hz, hi_hz):
    """Amplitude and mean frequency of the partial between lo_hz and hi_hz."""
    lo, hi = int(np.ceil(lo_hz * n / rate)), int(np.floor(hi_hz * n / rate))
    band = np.zeros(n, dtype=complex)
    band[lo : hi + 1] = 2 * spec[lo : hi + 1]
    a = np.fft.ifft(band)
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


def estimate(x, rate, nominal, harmonics=4):
    n = len(x)
    spec = np.fft.fft(x)
    found = []
    for k in range(1, harmonics + 1):
        if (k + 0.5) * nominal > 0.45 * rate:
            break
        amp, f = _harmonic(spec, n, rate, (k - 0.5) * nominal, (k + 0.5) * nominal)
        if amp > 0 and f > 0:
            found.append((k, f, amp))
    if not found:
        return nominal
    strongest = max(m for _, _, m in found)
    use = [(k, f, m) for k, f, m in found if m >= 0.1 * strongest]
    w = np.array([m * m for _, _, m in use])
    f0 = np.array([f / k for k, f, _ in use])
    return float(np.sum(w * f0) / np.sum(w))
