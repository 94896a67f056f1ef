#!/usr/bin/env python3
"""Plants the faults of faults.txt one at a time and records which tests catch each.

For every fault: the text is replaced in its file, the build directory (preset "faults", beside
the normal build) rebuilds the programs the fault's folder is tested by, and they run (all the
tests of a program in one process, two programs at a time): the folder's own test programs
(analysis faults also tarvo-analyse's, tests/tools), and for faults in model, display and app
the end-to-end tests of the real program (ctest app_end_to_end and app_install). A fault is
caught when some test that passes without faults fails with it; the file is always put back.
A fault whose text is gone, or found twice, is "stale"; one that does not compile "no-build".
--all runs every test program the rebuild relinked instead. Not run by CI: a fault takes
20 s to a minute and a half on two cores.

  tools/faults/plant.py run [--out DIR] [--only ID,...] [--folders F,...] [--resume] [--all]
  tools/faults/plant.py check                 # the list against the sources, nothing built
  tools/faults/plant.py compare BEFORE.csv AFTER.csv

The results go to DIR (default build/faults-results): results.csv (one line a fault),
summary.md (the table, sole catchers, tests no fault fails), baseline.json (the tests of the
clean run) and logs/ID.log.
"""
import argparse
import concurrent.futures
import csv
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
FAULTS = Path(__file__).resolve().parent / "faults.txt"
E2E_TESTS = "^app_(end_to_end|install)$"
# The test folders that test each source folder's faults, and the folders whose faults the
# end-to-end tests of the real program also run for.
TESTED_BY = {"analysis": ["analysis", "tools"], "tools": ["tools"]}
E2E_FOLDERS = {"model", "display", "app"}


def parse_faults(path=FAULTS):
    faults, current = [], None
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        header = re.fullmatch(r"\[([\w.-]+)\]", line)
        if header:
            current = {"id": header.group(1), "line": number}
            faults.append(current)
            continue
        key, colon, value = line.partition(":")
        if current is None or not colon or key not in ("file", "what", "find", "repl"):
            sys.exit(f"{path}:{number}: not a fault line: {line}")
        current[key] = (value[1:] if value.startswith(" ") else value).replace("<br>", "\n")
    for f in faults:
        missing = {"file", "find", "repl"} - f.keys()
        if missing:
            sys.exit(f"{path}:{f['line']}: fault {f['id']} lacks {', '.join(sorted(missing))}")
        f.setdefault("what", "")
        f["folder"] = f["file"].split("/")[0]
    ids = [f["id"] for f in faults]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: an id is used twice")
    return faults


def FailedTests(text):
    """Tests a gtest program's output reports failed (parameterised ones with their index)."""
    return set(re.findall(r"^\[  FAILED  \] ([^\s,]+)(?:, where .*)? \(\d+ ms\)$", text, re.M))


def staleness(fault):
    path = ROOT / fault["file"]
    if not path.is_file():
        return "file gone"
    n = path.read_text().count(fault["find"])
    return None if n == 1 else ("text not found" if n == 0 else f"text found {n} times")


def sh(cmd, log, timeout=None, **kw):
    log.write(f"$ {' '.join(map(str, cmd))}\n")
    log.flush()
    try:
        p = subprocess.run(cmd, stdout=log, stderr=subprocess.STDOUT, timeout=timeout, **kw)
        return p.returncode
    except subprocess.TimeoutExpired:
        log.write("(timed out)\n")
        return -1


class Suite:
    """The test programs of the build directory, run the way ctest runs them."""

    def __init__(self, build, jobs, timeout):
        self.build, self.jobs, self.timeout = build, jobs, timeout
        self.programs = sorted(p for p in (build / "tests").glob("*/test_*")
                               if p.is_file() and os.access(p, os.X_OK))
        self.watched = self.programs + [build / "tarvo-tuner"]

    def stamps(self):
        return {p: p.stat().st_mtime_ns for p in self.watched if p.exists()}

    def run_program(self, program, limit, log_dir):
        """Failing tests of one program, as 'program:Suite.Test'; a test that crashes or hangs
        the program counts as failing and the rest run again without it."""
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        excluded, failed = [], set()
        for _ in range(6):
            cmd = [str(program)]
            if excluded:
                cmd.append("--gtest_filter=-" + ":".join(excluded))
            out_path = log_dir / f"{program.name}.out"
            with open(out_path, "w") as out:
                try:
                    rc = subprocess.run(cmd, cwd=program.parent, env=env, stdout=out,
                                        stderr=subprocess.STDOUT, timeout=limit,
                                        start_new_session=True).returncode
                except subprocess.TimeoutExpired:
                    rc = "timeout"
            text = out_path.read_text(errors="replace")
            failed |= FailedTests(text)
            if rc in (0, 1) and "[  PASSED  ]" in text:
                break
            running = re.findall(r"^\[ RUN      \] (\S+)", text, re.M)
            finished = set(re.findall(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+)", text, re.M))
            stuck = [t for t in running if t not in finished]
            if not stuck:
                failed.add(f"(exit {rc})")
                break
            failed.add(stuck[-1])
            excluded.append(stuck[-1])
        return {f"{program.name}:{t}" for t in failed}

    def all_tests(self, program):
        out = subprocess.run([str(program), "--gtest_list_tests"], cwd=program.parent,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                             capture_output=True, text=True).stdout
        tests, suite = [], None
        for line in out.splitlines():
            if not line.startswith(" "):
                suite = line.split("#")[0].strip()
            else:
                tests.append(f"{program.name}:{suite}{line.split('#')[0].strip()}")
        return tests

    def run_e2e(self, log_dir):
        xml = log_dir / "e2e.xml"
        with open(log_dir / "e2e.out", "w") as out:
            subprocess.run(["ctest", "--test-dir", str(self.build), "-R", E2E_TESTS,
                            "--timeout", "180", "--output-junit", str(xml)],
                           stdout=out, stderr=subprocess.STDOUT)
        text = (log_dir / "e2e.out").read_text(errors="replace")
        return {f"ctest:{t}" for t in re.findall(r"\d+ - (\S+) \((?:Failed|Timeout|SEGFAULT|"
                                                  r"Subprocess aborted|Not Run)", text)}

    def run(self, programs, e2e, log_dir, limits):
        log_dir.mkdir(parents=True, exist_ok=True)
        failed = set()
        with concurrent.futures.ThreadPoolExecutor(self.jobs) as pool:
            jobs = [pool.submit(self.run_program, p, limits.get(p.name, self.timeout), log_dir)
                    for p in programs]
            if e2e:
                jobs.append(pool.submit(self.run_e2e, log_dir))
            for j in jobs:
                failed |= j.result()
        return failed


def build(build_dir, log, targets=()):
    cmd = ["cmake", "--build", str(build_dir)]
    if targets:
        cmd += ["--target", *targets]
    return sh(cmd, log) == 0


def configure(args, log):
    return sh(["cmake", "--preset", args.preset], log, cwd=ROOT) == 0


def write_summary(out_dir, faults, results, baseline):
    rows = [results[f["id"]] for f in faults if f["id"] in results]
    by_folder = {}
    for r in rows:
        c = by_folder.setdefault(r["folder"], {"caught": 0, "missed": 0, "stale": 0,
                                               "no-build": 0})
        c[r["status"]] += 1
    catchers = {}
    for r in rows:
        for t in r["catchers"].split():
            catchers.setdefault(t, []).append(r["id"])
    sole = {}
    for r in rows:
        ts = r["catchers"].split()
        if r["status"] == "caught" and len(ts) == 1:
            sole.setdefault(ts[0], []).append(r["id"])
    lines = ["# Planted faults", "",
             f"{len(rows)} faults; clean run: {len(baseline['tests'])} tests, "
             f"{len(baseline['failing'])} failing without faults (ignored: "
             f"{' '.join(baseline['failing']) or 'none'}).", "",
             "| folder | faults | caught | missed | stale | no-build |",
             "| --- | --- | --- | --- | --- | --- |"]
    for folder, c in sorted(by_folder.items()):
        lines.append(f"| {folder} | {sum(c.values())} | {c['caught']} | {c['missed']} | "
                     f"{c['stale']} | {c['no-build']} |")
    total = {k: sum(c[k] for c in by_folder.values()) for k in ("caught", "missed", "stale",
                                                                 "no-build")}
    lines.append(f"| all | {len(rows)} | {total['caught']} | {total['missed']} | "
                 f"{total['stale']} | {total['no-build']} |")
    lines += ["", "## Faults", "", "| fault | file | status | caught by |", "| --- | --- | --- | --- |"]
    for r in rows:
        ts = r["catchers"].split()
        shown = ", ".join(ts[:6]) + (f" and {len(ts) - 6} more" if len(ts) > 6 else "")
        lines.append(f"| {r['id']} | {r['file']} | {r['status']} | {shown or r['note']} |")
    lines += ["", "## Tests that alone catch a fault", ""]
    lines += [f"- {t}: {', '.join(ids)}" for t, ids in sorted(sole.items())] or ["- none"]
    never = [t for t in baseline["tests"] if t not in catchers]
    lines += ["", f"## Tests no planted fault fails ({len(never)} of {len(baseline['tests'])})",
              ""]
    lines += [f"- {t}" for t in never]
    (out_dir / "summary.md").write_text("\n".join(lines) + "\n")


def cmd_run(args):
    faults = parse_faults()
    if args.only:
        wanted = set(args.only.split(","))
        faults = [f for f in faults if f["id"] in wanted]
    if args.folders:
        wanted = set(args.folders.split(","))
        faults = [f for f in faults if f["folder"] in wanted]
    out_dir = Path(args.out).resolve()
    (out_dir / "logs").mkdir(parents=True, exist_ok=True)
    build_dir = (ROOT / "build" / args.preset).resolve()
    results_path = out_dir / "results.csv"
    fields = ["id", "folder", "file", "what", "status", "catchers", "note", "seconds"]
    results = {}
    if args.resume and results_path.exists():
        with open(results_path) as f:
            results = {r["id"]: r for r in csv.DictReader(f)}

    with open(out_dir / "logs" / "_setup.log", "a") as log:
        if not configure(args, log) or not build(build_dir, log):
            sys.exit(f"plant: the clean build failed; see {out_dir}/logs/_setup.log")
    suite = Suite(build_dir, args.jobs, args.timeout)
    baseline_path = out_dir / "baseline.json"
    if args.resume and baseline_path.exists():
        baseline = json.loads(baseline_path.read_text())
    else:
        start = time.monotonic()
        limits, failing = {}, set()
        for p in suite.programs:
            t0 = time.monotonic()
            failing |= suite.run([p], False, out_dir / "logs" / "_clean", {})
            limits[p.name] = time.monotonic() - t0
        if not args.no_e2e:
            failing |= suite.run([], True, out_dir / "logs" / "_clean", {})
        tests = [t for p in suite.programs for t in suite.all_tests(p)]
        if not args.no_e2e:
            tests += ["ctest:app_end_to_end", "ctest:app_install"]
        baseline = {"tests": tests, "failing": sorted(failing), "seconds": limits,
                    "clean_run_seconds": time.monotonic() - start}
        baseline_path.write_text(json.dumps(baseline, indent=1))
    limits = {name: max(args.timeout, 5 * s + 30) for name, s in baseline["seconds"].items()}
    ignored = set(baseline["failing"])

    def record(fault, status, catchers=(), note="", seconds=0.0):
        results[fault["id"]] = {"id": fault["id"], "folder": fault["folder"],
                                "file": fault["file"], "what": fault["what"], "status": status,
                                "catchers": " ".join(sorted(catchers)), "note": note,
                                "seconds": f"{seconds:.0f}"}
        with open(results_path, "w", newline="") as f:
            w = csv.DictWriter(f, fields)
            w.writeheader()
            w.writerows(results[x["id"]] for x in parse_faults() if x["id"] in results)
        write_summary(out_dir, parse_faults(), results, baseline)
        print(f"{fault['id']:28} {status:8} {seconds:5.0f}s  {' '.join(sorted(catchers))[:100]}",
              flush=True)

    planted = {}

    def restore(*_):
        for path, text in planted.items():
            path.write_text(text)
        planted.clear()

    signal.signal(signal.SIGTERM, lambda *a: (restore(), sys.exit(1)))
    try:
        for fault in faults:
            if fault["id"] in results:
                continue
            t0 = time.monotonic()
            why = staleness(fault)
            if why:
                record(fault, "stale", note=why)
                continue
            path = ROOT / fault["file"]
            original = path.read_text()
            planted[path] = original
            path.write_text(original.replace(fault["find"], fault["repl"], 1))
            with open(out_dir / "logs" / f"{fault['id']}.log", "w") as log:
                folders = TESTED_BY.get(fault["folder"], [fault["folder"]])
                own = [p for p in suite.programs if p.parent.name in folders]
                e2e = not args.no_e2e and fault["folder"] in E2E_FOLDERS
                targets = [] if args.all else [p.name for p in own] + (
                    ["tarvo-tuner", "tarvo-read-shot"] if e2e else [])
                before = suite.stamps()
                ok = build(build_dir, log, targets)
                restore()
                if not ok:
                    record(fault, "no-build", note="did not compile",
                           seconds=time.monotonic() - t0)
                    continue
                after = suite.stamps()
                relinked = [p for p in suite.programs if before.get(p) != after.get(p)]
                if args.all:
                    e2e = not args.no_e2e and before.get(suite.watched[-1]) != after.get(
                        suite.watched[-1])
                else:
                    relinked = [p for p in relinked if p in own]
                log.write(f"ran: {' '.join(p.name for p in relinked)} e2e={e2e}\n")
                failed = suite.run(relinked, e2e, out_dir / "logs" / fault["id"], limits)
            catchers = failed - ignored
            record(fault, "caught" if catchers else "missed", catchers,
                   note="" if relinked or e2e else "no test program uses it",
                   seconds=time.monotonic() - t0)
    finally:
        restore()
        with open(out_dir / "logs" / "_setup.log", "a") as log:
            build(build_dir, log)  # leave the build as the sources are


def cmd_reparse(args):
    """Reads the failing tests again from the logs of a run (keeping what was recorded)."""
    out_dir = Path(args.out).resolve()
    path = out_dir / "results.csv"
    with open(path) as f:
        rows = list(csv.DictReader(f))
    ignored = set(json.loads((out_dir / "baseline.json").read_text())["failing"])
    for r in rows:
        found = set(r["catchers"].split())
        for log in (out_dir / "logs" / r["id"]).glob("test_*.out"):
            found |= {f"{log.stem}:{t}" for t in FailedTests(log.read_text(errors="replace"))}
        found -= ignored
        r["catchers"] = " ".join(sorted(found))
        if r["status"] in ("caught", "missed"):
            r["status"] = "caught" if found else "missed"
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, list(rows[0].keys()))
        w.writeheader()
        w.writerows(rows)
    write_summary(out_dir, parse_faults(), {r["id"]: r for r in rows},
                  json.loads((out_dir / "baseline.json").read_text()))


def cmd_check(_):
    bad = 0
    for f in parse_faults():
        why = staleness(f)
        if why:
            bad += 1
            print(f"stale: {f['id']} ({f['file']}): {why}")
    print(f"{len(parse_faults())} faults, {bad} stale")
    return 1 if bad else 0


def cmd_compare(args):
    def load(p):
        with open(p) as f:
            return {r["id"]: r for r in csv.DictReader(f)}
    before, after = load(args.before), load(args.after)
    both = [i for i in before if i in after]
    lost = [i for i in both if before[i]["status"] == "caught" and after[i]["status"] != "caught"]
    gained = [i for i in both if after[i]["status"] == "caught" and before[i]["status"] != "caught"]
    count = lambda rs: sum(rs[i]["status"] == "caught" for i in both)
    print(f"{len(both)} faults in both runs: caught before {count(before)}, after {count(after)}")
    for i in lost:
        print(f"lost: {i} (before: {before[i]['catchers']}; after: {after[i]['status']})")
    for i in gained:
        print(f"gained: {i} ({after[i]['catchers']})")
    return 1 if lost else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    run = sub.add_parser("run")
    run.add_argument("--out", default=str(ROOT / "build" / "faults-results"))
    run.add_argument("--preset", default="faults")
    run.add_argument("--only", help="comma-separated fault ids")
    run.add_argument("--resume", action="store_true", help="keep results already in --out")
    run.add_argument("--jobs", type=int, default=2)
    run.add_argument("--timeout", type=int, default=120, help="least seconds per test program")
    run.add_argument("--folders", help="comma-separated source folders whose faults to plant")
    run.add_argument("--all", action="store_true", help="run every test program relinked")
    run.add_argument("--no-e2e", action="store_true", help="skip the end-to-end tests")
    sub.add_parser("check")
    rep = sub.add_parser("reparse")
    rep.add_argument("--out", default=str(ROOT / "build" / "faults-results"))
    cmp_ = sub.add_parser("compare")
    cmp_.add_argument("before")
    cmp_.add_argument("after")
    args = ap.parse_args()
    return {"run": cmd_run, "check": cmd_check, "compare": cmd_compare,
            "reparse": cmd_reparse}[args.cmd](args) or 0


if __name__ == "__main__":
    sys.exit(main())
