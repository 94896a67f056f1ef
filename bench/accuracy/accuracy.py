"""Accuracy and speed of tarvo-analyse against aubio's aubiopitch on the same files.

Usage: bench/accuracy/run.sh [--reduced] [--out DIR] [--tarvo PATH] [--no-peer] [--check]

Measures, per category and overall, for ours and for the peer:
  notes   share of settled frames naming the right note and octave
  med/p90 median and 90th-percentile |cents error| of those frames against the true pitch
  read    share of the frames from onset + 0.3 s to the end of the note that show a reading:
          how long the reading lasts through a note's decay; on files without a note (noise,
          silence) the share of all their frames that show one, every one of them false
  first   median time from onset to the first reading that names the right note
  settle  median time from onset to the first reading that is within 5 cents and stays within
          5 cents (and settled) for the next 50 ms
  cpu     CPU seconds per second of audio of the analysis alone, on a long file
  (note's own) the median and 90th percentile of how far a rendered note's own pitch strays
          from its true pitch over 93 ms frames lying inside the note (vibrato, drift, attack;
          independent estimate), and when that own pitch first steadies within 5 cents: what
          an ideal reader with 1024-sample frames would show
A frame counts once its whole 1024-sample window lies inside the note (frame end at least
93 ms after onset) and until the note is released. Ours is settled while its tracker does not
hold; the peer is settled whenever it reports a pitch. A rendered note more than 25 cents from
its half-step may also name the neighbour on that side (its vibrato crosses the boundary).
"""

import argparse
import concurrent.futures as cf
import json
import math
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import analysers  # noqa: E402
import corpus  # noqa: E402

STEADY = 0.05  # seconds a reading must stay within 5 cents to count as steady
WITHIN = 5.0
SNRS = [20, 10, 0]
BOUNDARY = 0.25  # half-steps from the note beyond which a rendered note may name its neighbour
READ_FROM = 0.3  # seconds after the onset from which the read share counts frames
ABOVE_E2 = 40  # MIDI note of E2: the settling goal is for real notes above it


def kind(entry):
    """tone, sine, noise or instrument (corpora made before sines and noise have no kind)."""
    return entry.get("kind") or ("tone" if entry["category"].startswith("synth") else "instrument")


def file_metrics(frames, entry):
    onset, end, truth = entry["onset"], entry["end"], entry["truth"]
    if truth is None:
        # No note: every reading is a false one.
        counted = len(frames)
        shown = sum(1 for _t, _m, f in frames if f is not None)
        return dict(counted=counted, settled=shown, right=0, errs=[], settle=math.inf,
                    read_counted=counted, read=shown, read_errs=[], first=math.inf)
    read_counted = read = 0
    read_errs = []  # of the frames read right there
    exact = 69 + 12 * math.log2(truth / 440.0)
    want = int(round(exact))
    allowed = {want}
    # Rendered notes carry vibrato and pitch drift: near a half-step boundary the played pitch
    # itself crosses into the neighbour, so there the neighbour counts as right too.
    if kind(entry) == "instrument" and abs(exact - want) > BOUNDARY:
        allowed.add(want + (1 if exact > want else -1))
    first = onset + analysers.FRAME / analysers.RATE
    counted = settled = right = 0
    errs = []
    for t, midi, f in frames:
        if onset + READ_FROM <= t <= end:
            read_counted += 1
            read += f is not None
            if f is not None and midi in allowed:
                read_errs.append(abs(1200 * math.log2(f / truth)))
        if t < first or t > end:
            continue
        counted += 1
        if f is None:
            continue
        settled += 1
        if midi in allowed:
            right += 1
            errs.append(abs(1200 * math.log2(f / truth)))
    # Settling: the first frame from the onset on whose reading is within 5 cents and stays so
    # for STEADY seconds.
    settle = math.inf
    seq = [(t, f) for t, _m, f in frames if onset <= t <= end]
    good = [f is not None and abs(1200 * math.log2(f / truth)) <= WITHIN for _t, f in seq]
    j = 0
    for i in range(len(seq)):
        if not good[i]:
            continue
        j = max(j, i)
        while j + 1 < len(seq) and seq[j + 1][0] <= seq[i][0] + STEADY and good[j + 1]:
            j += 1
        if j + 1 >= len(seq) or seq[j + 1][0] > seq[i][0] + STEADY:
            settle = seq[i][0] - onset
            break
    first = next((t - onset for t, m, f in frames if t >= onset and f is not None and
                  m in allowed), math.inf)
    return dict(counted=counted, settled=settled, right=right, errs=errs, settle=settle,
                read_counted=read_counted, read=read, read_errs=read_errs, first=first)


def pool(results):
    counted = sum(r["counted"] for r in results)
    settled = sum(r["settled"] for r in results)
    right = sum(r["right"] for r in results)
    errs = np.array([e for r in results for e in r["errs"]])
    settles = np.array([r["settle"] for r in results])
    read_counted = sum(r["read_counted"] for r in results)
    read = sum(r["read"] for r in results)
    read_errs = [e for r in results for e in r["read_errs"]]
    return dict(
        first=float(np.median([r["first"] for r in results])) if results else math.inf,
        read_notes=len(read_errs) / read if read else 0.0,
        read_max=float(np.max(read_errs)) if read_errs else math.inf,
        files=len(results),
        coverage=settled / counted if counted else 0.0,
        read=sum(r["read"] for r in results) / read_counted if read_counted else 0.0,
        notes=right / settled if settled else 0.0,
        med=float(np.median(errs)) if len(errs) else math.inf,
        p90=float(np.percentile(errs, 90)) if len(errs) else math.inf,
        settle=float(np.median(settles)) if len(settles) else math.inf,
        never=int(np.sum(np.isinf(settles))),
    )


def fmt_s(v):
    return "  never" if math.isinf(v) else "%6.3fs" % v


def fmt_c(v):
    return "    inf" if math.isinf(v) else "%7.2f" % v


def ratio(a, b):
    if b == 0 or math.isinf(a) or math.isinf(b):
        return "   -"
    return "%5.2f" % (a / b)


def table(cats, stats, names, cpu, owns, noteless):
    lines = []
    head = "%-18s %-13s %5s %7s %7s %7s %7s %8s %6s %7s %9s" % (
        "category", "analyser", "files", "settled", "read", "notes", "med c", "p90 c", "first",
        "settle", "never")
    lines.append(head)
    lines.append("-" * len(head))
    for cat in cats:
        for name in names:
            s = stats[cat][name]
            if cat in noteless:
                lines.append("%-18s %-13s %5d %7s %6.1f%%" % (
                    cat, name, s["files"], "", 100 * s["read"]))
                continue
            lines.append("%-18s %-13s %5d %6.1f%% %6.1f%% %6.2f%% %7s %8s %7s %7s %4d" % (
                cat, name, s["files"], 100 * s["coverage"], 100 * s["read"], 100 * s["notes"],
                fmt_c(s["med"]), fmt_c(s["p90"]), fmt_s(s["first"]), fmt_s(s["settle"]),
                s["never"]))
        own = owns.get(cat)
        if own is not None and len(own[0]):
            lines.append("%-18s %-13s %5s %7s %7s %7s %7s %8s %7s %7s %4d" % (
                "", "(note's own)", "", "", "", "", fmt_c(float(np.median(own[0]))),
                fmt_c(float(np.percentile(own[0], 90))), "", fmt_s(float(np.median(own[1]))),
                int(np.sum(np.isinf(own[1])))))
        if len(names) > 1 and cat not in noteless:
            a, b = stats[cat][names[0]], stats[cat][names[1]]
            lines.append("%-18s %-13s %5s %7s %7s %7s %7s %8s %7s %7s" % (
                "", "ratio " + names[0] + "/" + names[1].split()[-1], "", "", "",
                ratio(a["notes"], b["notes"]), ratio(a["med"], b["med"]),
                ratio(a["p90"], b["p90"]), ratio(a["first"], b["first"]),
                ratio(a["settle"], b["settle"])))
        lines.append("")
    if cpu:
        lines.append("CPU seconds per second of audio (analysis alone, %.0f s long file):" %
                     cpu["seconds"])
        timed = [n for n in names if n in cpu]
        for name in timed:
            lines.append("  %-13s %.5f   %s" % (name, cpu[name][0], cpu[name][1]))
        if len(timed) > 1:
            lines.append("  ratio %s/%s %.3f  (peer %.1fx the cost of ours)" % (
                timed[0], timed[1].split()[-1], cpu[timed[0]][0] / cpu[timed[1]][0],
                cpu[timed[1]][0] / cpu[timed[0]][0]))
    return "\n".join(lines)


def make_long_file(out, manifest, minimum_seconds):
    """Every corpus file at 11025 Hz, end to end, repeated to at least minimum_seconds."""
    import aubio as aubio_module

    parts = []
    for e in manifest["entries"]:
        src = aubio_module.source(os.path.join(out, e["file"]), analysers.RATE, 512)
        while True:
            buf, n = src()
            parts.append(np.array(buf[:n], dtype=np.float64))
            if n < 512:
                break
    one = np.concatenate(parts)
    reps = max(1, int(math.ceil(minimum_seconds * analysers.RATE / len(one))))
    samples = np.tile(one, reps)
    path = os.path.join(out, "long.wav")
    corpus.write_wav(path, samples, analysers.RATE)
    short = os.path.join(out, "short.wav")
    corpus.write_wav(short, samples[: analysers.RATE], analysers.RATE)
    return path, short, samples


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--reduced", action="store_true", help="a few files per category (CI)")
    ap.add_argument("--out", default=None, help="corpus folder (default build/accuracy[-reduced])")
    ap.add_argument("--tarvo", default=None, help="tarvo-analyse (default build/default/...)")
    ap.add_argument("--no-peer", action="store_true", help="skip aubio")
    ap.add_argument("--peer", default="yin,yinfft", help="aubio methods, the first is compared")
    ap.add_argument("--keep-corpus", action="store_true", help="reuse an existing corpus")
    ap.add_argument("--no-timing", action="store_true", help="skip the CPU measurement")
    ap.add_argument("--hop", type=int, default=analysers.HOP,
                    help="samples between our frames (tarvo-analyse --hop; aubio keeps %d)"
                    % analysers.HOP)
    ap.add_argument("--check", action="store_true",
                    help="exit 1 unless ours names >= 99%% right notes overall, has a median\n"
                    "<= 1 cent over the categories whose notes hold their pitch, reads\n"
                    "instruments on >= 97%% and tones in 10 dB noise on >= 99%% of their\n"
                    "frames from onset + 0.3 s, reads the pure sines there on >= 97%%, all\n"
                    "right and within 0.1 cent, and reads <= 1%% of the frames of noise and\n"
                    "none of silence")
    ap.add_argument("--dump", default=None, help="write per-file results as JSON here")
    ap.add_argument("--frames", action="store_true",
                    help="also list ours before the tracker (each frame's loudest class)")
    args = ap.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = args.out or os.path.join(root, "build", "accuracy-reduced" if args.reduced
                                   else "accuracy")
    tarvo = args.tarvo or os.path.join(root, "build", "default", "tarvo-analyse")
    peers = [] if args.no_peer else ["aubio " + m for m in args.peer.split(",") if m]

    t0 = time.time()
    mf = os.path.join(out, "manifest.json")
    if args.keep_corpus and os.path.exists(mf):
        with open(mf) as f:
            manifest = json.load(f)
    else:
        manifest = corpus.build(out, args.reduced, SNRS)
    entries = manifest["entries"]
    print("corpus: %d files in %s (%.0f s to make)" % (len(entries), out, time.time() - t0))

    names = (["ours"] if os.path.exists(tarvo) else []) + peers
    if args.frames and "ours" in names:
        names.append("ours frames")
    if not os.path.exists(tarvo):
        print("note: %s not found, ours not measured" % tarvo)

    cache = os.path.join(out, "peer-cache")
    os.makedirs(cache, exist_ok=True)

    def run(name, entry):
        path = os.path.join(out, entry["file"])
        if name == "ours":
            return analysers.ours(tarvo, path, args.hop)
        if name == "ours frames":
            return analysers.ours_frames(tarvo, path, args.hop)
        # The peer's readings depend only on the corpus, which a new build clears.
        saved = os.path.join(cache, name.replace(" ", "_") + "_" + entry["file"] + ".json")
        if os.path.exists(saved):
            with open(saved) as f:
                return [tuple(x) for x in json.load(f)]
        frames = analysers.aubio(name.split()[1], path)
        with open(saved, "w") as f:
            json.dump(frames, f)
        return frames

    per_file = {}
    with cf.ThreadPoolExecutor(max_workers=2) as ex:
        jobs = {(n, e["file"]): ex.submit(run, n, e) for n in names for e in entries}
        for (n, fname), job in jobs.items():
            per_file[(n, fname)] = job.result()

    cats = []
    for e in entries:
        if e["category"] not in cats:
            cats.append(e["category"])
    kinds = {e["category"]: kind(e) for e in entries}
    synth_noise = [c for c in cats if c.startswith("synth noise")]
    real = [c for c in cats if kinds[c] == "instrument"]
    noteless = [c for c in cats if kinds[c] == "noise"]
    groups = cats + ["all noisy tones", "all instruments", "instruments > E2", "overall"]
    members = {c: [c] for c in cats}
    members["all noisy tones"] = synth_noise
    members["all instruments"] = real
    members["overall"] = [c for c in cats if c not in noteless]
    above_e2 = {e["file"] for e in entries if kind(e) == "instrument" and e["note"] > ABOVE_E2}
    stats = {}
    dump = []
    results = {}
    for e in entries:
        for n in names:
            r = file_metrics(per_file[(n, e["file"])], e)
            results[(n, e["file"])] = r
            dump.append(dict(file=e["file"], analyser=n, category=e["category"],
                             truth=e["truth"], settled=r["settled"], counted=r["counted"],
                             right=r["right"], settle=r["settle"], read=r["read"],
                             read_counted=r["read_counted"],
                             med=float(np.median(r["errs"])) if r["errs"] else None))
    def chosen(g, e):
        if g == "instruments > E2":
            return e["file"] in above_e2
        return e["category"] in members[g]

    for g in groups:
        stats[g] = {}
        for n in names:
            stats[g][n] = pool([results[(n, e["file"])] for e in entries if chosen(g, e)])

    # How far the rendered notes' own pitch strays, frame by frame, from their true pitch.
    owns = {}
    for g in groups:
        mine = [e for e in entries if chosen(g, e) and e.get("own")]
        owns[g] = (np.array([c for e in mine for c in e["own"]]),
                   np.array([e["own_settle"] for e in mine]))

    cpu = None
    if not args.no_timing and names:
        long_path, short_path, samples = make_long_file(out, manifest, 120 if args.reduced else 600)
        seconds = len(samples) / analysers.RATE
        cpu = {"seconds": seconds}
        if "ours" in names:
            cpu["ours"] = analysers.time_ours(tarvo, long_path, short_path, seconds)
        for n in [n for n in names if n.startswith("aubio")]:
            cpu[n] = (analysers.time_aubio(n.split()[1], samples),
                      "aubio pitch object alone (python3-aubio), loop overhead removed")
        os.remove(long_path)

    print()
    if args.hop != analysers.HOP:
        print("ours at hop %d" % args.hop)
    print(table(groups, stats, names, cpu, owns, noteless))
    print()
    print("Truth: synthetic tones are made at the stated frequency. Rendered notes are the MIDI\n"
          "note bent by the stated cents, as measured from the rendered audio by an independent\n"
          "long-window estimate (phase slope of harmonics 1-6 over the whole sustain, their\n"
          "amplitude-weighted median; truepitch.py). Notes whose measured pitch is more than %.1f\n"
          "cent from the nominal one (sample out of tune, or the renderer's whole-cent steps):"
          % corpus.truepitch.TOLERANCE_CENTS)
    for line in manifest["out_of_tune"]:
        print("  " + line)
    if not manifest["out_of_tune"]:
        print("  (none)")
    if args.dump:
        with open(args.dump, "w") as f:
            json.dump(dump, f, indent=0)

    if args.check:
        if "ours" not in names:
            print("check: FAILED, tarvo-analyse missing")
            return 1
        # Right notes over everything; the cents median over the categories whose notes hold
        # their pitch (own wander at most 1 cent): on vibrato the reading rightly follows the
        # instrument, and the table shows how far.
        s = stats["overall"]["ours"]
        steady = [c for c in cats if c not in noteless and
                  (len(owns[c][0]) == 0 or float(np.median(owns[c][0])) <= 1.0)]
        med = pool([results[("ours", e["file"])] for e in entries
                    if e["category"] in steady])["med"]
        checks = [("ours names %.2f%% right notes (>= 99%%)" % (100 * s["notes"]),
                   s["notes"] >= 0.99),
                  ("median error %.2f cents (<= 1) over the steady categories (%s)"
                   % (med, ", ".join(steady)), med <= 1.0)]
        # The reading lasts through the note: instruments from onset + 0.3 s to the release,
        # tones in noise 10 dB below them.
        for c, least in (("all instruments", 0.97), ("synth noise 10 dB", 0.99)):
            if c in stats:
                r = stats[c]["ours"]["read"]
                checks.append(("%s read on %.1f%% of frames from onset + %.1f s (>= %g%%)"
                               % (c, 100 * r, READ_FROM, 100 * least), r >= least))
        for c in noteless:
            limit = 0.0 if c == "silence" else 0.01
            r = stats[c]["ours"]["read"]
            checks.append(("%s read on %.2f%% of frames (<= %g%%)" % (c, 100 * r, 100 * limit),
                           r <= limit))
        for c in [c for c in cats if kinds[c] == "sine"]:
            x = stats[c]["ours"]
            checks.append(("%s from onset + %.1f s: read on %.1f%% of frames (>= 97%%), %.2f%% "
                           "of them right (100%%), largest error %.3f cents (<= 0.1)"
                           % (c, READ_FROM, 100 * x["read"], 100 * x["read_notes"],
                              x["read_max"]),
                           x["read"] >= 0.97 and x["read_notes"] == 1.0 and
                           x["read_max"] <= 0.1))
        for text, good in checks:
            print("check: %s: %s" % (text, "ok" if good else "FAILED"))
        return 0 if all(good for _t, good in checks) else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
