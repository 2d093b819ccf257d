#!/usr/bin/env python3
"""Runs the probe on each program and its floor, interleaved, and prints one
table of medians, spreads, ratios to the floor and targets, then one
machine-readable line starting with BENCH.

Called by bench/run, which builds everything first; see bench/README.md.
"""
import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import instructions  # noqa: E402
from testsupport import XServer  # noqa: E402
BUILD = os.path.join(ROOT, "build", "bench")
WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
PROBE_SLACK_S = 60  # on top of what a probe session itself should take


# ---- statistics and parsing ------------------------------------------------

def quantile(sorted_values, q):
    """Linear interpolation between closest ranks (numpy's default)."""
    if not sorted_values:
        return None
    pos = (len(sorted_values) - 1) * q
    lo = int(pos)
    hi = min(lo + 1, len(sorted_values) - 1)
    return sorted_values[lo] + (sorted_values[hi] - sorted_values[lo]) * (pos - lo)


def summary(values):
    """Median, min, max, quartiles and count of the numbers given (None dropped)."""
    v = sorted(x for x in values if x is not None)
    if not v:
        return None
    return {"median": quantile(v, 0.5), "min": v[0], "max": v[-1],
            "q1": quantile(v, 0.25), "q3": quantile(v, 0.75), "n": len(v)}


def parse_probe(text):
    """The probe's 'key value' lines as a dict of floats; 'note' lines as a list."""
    figures, notes = {}, []
    for line in text.splitlines():
        key, _, value = line.strip().partition(" ")
        if not key:
            continue
        if key == "note":
            notes.append(value)
            continue
        try:
            figures[key] = float(value)
        except ValueError:
            notes.append("unreadable line: " + line.strip())
    return figures, notes


def ratio(a, b):
    if a is None or b is None or b == 0:
        return None
    return a / b


def count_notes(notes):
    """Notes with the run number taken out, each with how often it came."""
    counts = {}
    for n in notes:
        head, sep, tail = n.partition(": ")
        key = head.split(" run ")[0] + sep + tail
        counts[key] = counts.get(key, 0) + 1
    return sorted(counts.items())


def fmt(value, digits=0):
    return "—" if value is None else f"{value:.{digits}f}"


def fmt_summary(s, scale=1.0, digits=0):
    if s is None:
        return "—"
    return (f"{s['median'] / scale:.{digits}f} "
            f"[{s['min'] / scale:.{digits}f}–{s['max'] / scale:.{digits}f}]")


def verdict(ok):
    return "—" if ok is None else ("met" if ok else "MISSED")


# ---- the X server and the programs -----------------------------------------

class Program:
    def __init__(self, key, label, argv, title, exe_name=None, extra=(), wine=False):
        self.key, self.label, self.argv, self.title = key, label, argv, title
        self.exe_name, self.extra, self.wine = exe_name, list(extra), wine

    def probe_args(self, options):
        args = [os.path.join(BUILD, "probe"), "--title", self.title,
                "--idle-ms", str(options.idle_secs * 1000)]
        if self.exe_name:
            args += ["--exe-name", self.exe_name]
        return args + self.extra + ["--"] + self.argv


def run_probe(args, env, budget_s):
    """One probe session; its figures and notes. The probe ends its program itself."""
    try:
        done = subprocess.run(args, env=env, capture_output=True, text=True,
                              timeout=budget_s + PROBE_SLACK_S)
    except subprocess.TimeoutExpired as e:
        out = e.stdout.decode() if isinstance(e.stdout, bytes) else (e.stdout or "")
        figures, notes = parse_probe(out)
        return figures, notes + [f"probe overran {budget_s + PROBE_SLACK_S} s"]
    figures, notes = parse_probe(done.stdout)
    if done.returncode != 0:
        notes.append(f"probe exit {done.returncode}: {done.stderr.strip()[-300:]}")
    return figures, notes


def session_budget(options, program):
    budget = 30 + 2 + options.idle_secs
    if "--timeline" in program.extra:
        budget += 15
    if "--exit-click" in program.extra:
        budget += 12
    return budget


def wine_env(env):
    e = dict(env)
    e.update(WINEPREFIX=os.path.join(BUILD, "wineprefix"), WINEARCH="win64",
             WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return e


def wineserver(env, *flags, timeout=30):
    subprocess.run([WINESERVER, *flags], env=env, timeout=timeout,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def file_size(path, strip=False):
    if not os.path.exists(path):
        return None
    if not strip:
        return os.path.getsize(path)
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, "stripped")
        shutil.copy(path, copy)
        subprocess.run(["strip", copy], check=True)
        return os.path.getsize(copy)


def machine():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}, nproc {os.cpu_count()}, {cpu}"


# ---- the run ---------------------------------------------------------------

def main(argv=None):
    ap = argparse.ArgumentParser(prog="bench/run")
    ap.add_argument("--runs", type=int, default=10, help="start-ups per program (default 10)")
    ap.add_argument("--shakes", type=int, default=50,
                    help="shakes of the Linux program for the memory check (0: skip; default 50)")
    ap.add_argument("--idle-secs", type=int, default=5, help="idle window for wake-ups (default 5)")
    ap.add_argument("--no-wine", action="store_true", help="leave out the Windows program")
    ap.add_argument("--no-instructions", action="store_true",
                    help="leave out the instruction counts under callgrind")
    options = ap.parse_args(argv)

    linux_exe = os.path.join(BUILD, "omenglobe")
    win64_exe = os.path.join(ROOT, "build", "win64", "omenglobe.exe")
    win32_exe = os.path.join(ROOT, "build", "win32", "omenglobe.exe")
    floor_exe = os.path.join(BUILD, "floor", "win32_floor.exe")
    with_wine = not options.no_wine and os.path.exists(WINE64) and os.path.exists(floor_exe)

    programs = [Program("linux", "omenglobe (GTK)", [linux_exe], "Kelvra",
                        extra=["--timeline", "--exit-click"]),
                Program("gtk_floor", "bare GTK window", [os.path.join(BUILD, "floor", "gtk_floor")],
                        "Kelvra-floor"),
                Program("xeyes", "xeyes", [shutil.which("xeyes") or "xeyes"], "xeyes")]
    if with_wine:
        if os.path.exists(win64_exe):
            programs.append(Program("wine", "omenglobe.exe (Wine)", [WINE64, win64_exe], "Kelvra",
                                    exe_name="omenglobe.exe", wine=True,
                                    extra=["--timeline", "--exit-click"]))
        programs.append(Program("win_floor", "bare Win32 popup (Wine)", [WINE64, floor_exe],
                                "Kelvra-floor", exe_name="win32_floor.exe", wine=True))
    programs = [p for p in programs if p.key.startswith(("wine", "win_")) or os.path.exists(p.argv[0])]

    print(f"# bench: {machine()}", flush=True)
    results = {p.key: [] for p in programs}
    notes = []
    extra = {}
    runtime_dir = tempfile.mkdtemp(prefix="omenglobe-bench-")
    xvfb = XServer(1280, 1024)
    wine_xvfb = None
    wenv = None
    try:
        env = {k: v for k, v in os.environ.items() if k != "GDK_BACKEND"}
        env.update(DISPLAY=xvfb.display, NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=runtime_dir)
        print(f"# Xvfb {xvfb.display} (pid {xvfb.proc.pid}); {options.runs} runs each, interleaved",
              flush=True)

        if with_wine:
            # Wine waits about 2 s for a manager to confirm that a window
            # went away before it destroys it; a desktop always has one, so
            # the Wine programs are measured under one.
            wine_xvfb = XServer(1280, 1024, window_manager=True)
            wenv = wine_env(dict(env, DISPLAY=wine_xvfb.display))
            print(f"# Wine programs on {wine_xvfb.display} under openbox", flush=True)
            # Cold: no prefix and no server; the first start builds the prefix.
            shutil.rmtree(wenv["WINEPREFIX"], ignore_errors=True)
            cold = next(p for p in programs if p.wine)
            args = [os.path.join(BUILD, "probe"), "--title", cold.title, "--exe-name", cold.exe_name,
                    "--deadline-ms", "240000", "--rss-after-ms", "0", "--idle-ms", "0", "--"] + cold.argv
            figures, n = run_probe(args, wenv, 240)
            extra["wine_cold"] = {"program": cold.label, **figures}
            notes += [f"wine cold ({cold.key}): {x}" for x in n]
            print(f"# Wine cold-prefix first start of {cold.label}: {fmt(figures.get('map_ms'))} ms",
                  flush=True)
            wineserver(wenv, "-w", timeout=60)
            # Warm: one persistent server for the whole run, ended with -k below.
            wineserver(wenv, "-p")

        # One untimed start of each first, so no program pays for a cold
        # page cache or font cache the others then find warm.
        for p in programs:
            run_probe(p.probe_args(argparse.Namespace(idle_secs=0)), wenv if p.wine else env, 60)

        for i in range(options.runs):
            order = programs[i % len(programs):] + programs[:i % len(programs)]
            for p in order:
                figures, n = run_probe(p.probe_args(options), wenv if p.wine else env,
                                       session_budget(options, p))
                results[p.key].append(figures)
                notes += [f"{p.key} run {i + 1}: {x}" for x in n]
                time.sleep(0.3)
            print(f"# run {i + 1}/{options.runs} done", flush=True)

        if options.shakes > 0 and "linux" in results:
            args = [os.path.join(BUILD, "probe"), "--idle-ms", "0", "--shakes", str(options.shakes),
                    "--exit-click", "--", linux_exe]
            figures, n = run_probe(args, env, 30 + options.shakes * 12)
            extra["shakes"] = figures
            notes += [f"shakes: {x}" for x in n]
    finally:
        if wenv is not None:
            try:
                wineserver(wenv, "-k")
            except subprocess.TimeoutExpired:
                notes.append("wineserver -k timed out")
        xvfb.stop()
        if wine_xvfb is not None:
            wine_xvfb.stop()
        shutil.rmtree(runtime_dir, ignore_errors=True)

    gtk_floor_exe = os.path.join(BUILD, "floor", "gtk_floor")
    if (not options.no_instructions and shutil.which("valgrind")
            and os.path.exists(os.path.join(BUILD, "omenglobe_exit_when_idle"))
            and os.path.exists(gtk_floor_exe)):
        print("# instruction counts under callgrind", flush=True)
        try:
            program, floor = instructions.measure(
                os.path.join(BUILD, "omenglobe_exit_when_idle"), gtk_floor_exe)
            extra["instructions"] = {"program": program, "floor": floor}
        except (RuntimeError, subprocess.SubprocessError, OSError) as e:
            notes.append(f"instructions: {e}")

    sizes = {"linux_stripped_bytes": file_size(linux_exe, strip=True),
             "gtk_floor_stripped_bytes": file_size(os.path.join(BUILD, "floor", "gtk_floor"), strip=True),
             "win32_exe_bytes": file_size(win32_exe),
             "win64_exe_bytes": file_size(win64_exe),
             "win_floor_exe_bytes": file_size(floor_exe)}
    report(results, extra, sizes, notes, options)
    return 0


def col(results, key, figure):
    return summary(r.get(figure) for r in results.get(key, []))


def median(s):
    return None if s is None else s["median"]


def timeline_rows(results, key):
    """(label, summary, nominal, limit) for one program's shake and exit timeline."""
    centred = col(results, key, "centred_ms")
    sweep = median(centred) or 0.0
    return [("centred_ms", "click → window centred again (ms)", centred, None, None),
            ("bright_ms", "click → answer at full brightness (ms)", col(results, key, "bright_ms"),
             400 + sweep, 400 + sweep + 100),
            ("black_ms", "click → answer box black again (ms)", col(results, key, "black_ms"),
             3900 + sweep, 3900 + sweep + 100),
            ("usable_ms", "click → shake button usable again (ms)", col(results, key, "usable_ms"),
             4000 + sweep, 4000 + sweep + 100),
            ("exit_ms", "click on X → process gone (ms)", col(results, key, "exit_ms"), 2100, 2200),
            ("fade_cs_per_s", "wake-ups/s over a fade cycle", col(results, key, "fade_cs_per_s"),
             None, None)]


def within(s, nominal, limit):
    """A timeline median is on time when it is no earlier than a tick before
    nominal and no later than the limit."""
    if s is None or limit is None:
        return None
    return nominal - 100 <= s["median"] <= limit


def report(results, extra, sizes, notes, options):
    rows = []  # figure, program, floor, ratio/diff, target, verdict
    machine_line = {}

    def startup(prefix, key, floor_key, label, max_ratio, max_extra_mb):
        for figure, name in (("map_ms", "start-up to map (ms)"), ("shape_ms", "start-up to shape set (ms)")):
            s, f = col(results, key, figure), col(results, floor_key, figure)
            r = ratio(median(s), median(f))
            ok = None if r is None else r <= max_ratio
            rows.append((f"{label}: {name}", fmt_summary(s), fmt_summary(f), fmt(r, 2) + "×",
                         f"≤ {max_ratio:.2f}× floor", verdict(ok)))
            machine_line[f"{prefix}_{figure.replace('_ms', '')}_ms"] = median(s)
            machine_line[f"{prefix}_floor_{figure.replace('_ms', '')}_ms"] = median(f)
            machine_line[f"{prefix}_{figure.replace('_ms', '')}_ratio"] = r
        s, f = col(results, key, "rss_kb"), col(results, floor_key, "rss_kb")
        diff = None if s is None or f is None else (s["median"] - f["median"]) / 1024
        rows.append((f"{label}: RSS 2 s after map (MB)", fmt_summary(s, 1024, 1), fmt_summary(f, 1024, 1),
                     ("+" if diff and diff >= 0 else "") + fmt(diff, 1) + " MB",
                     f"≤ floor + {max_extra_mb} MB", verdict(None if diff is None else diff <= max_extra_mb)))
        machine_line[f"{prefix}_rss_kb"] = median(s)
        machine_line[f"{prefix}_floor_rss_kb"] = median(f)
        s, f = col(results, key, "idle_cs_per_s"), col(results, floor_key, "idle_cs_per_s")
        rows.append((f"{label}: idle wake-ups/s ({options.idle_secs} s)", fmt_summary(s, digits=1),
                     fmt_summary(f, digits=1), "", "0", verdict(None if s is None else s["median"] == 0)))
        machine_line[f"{prefix}_idle_cs_per_s"] = median(s)
        machine_line[f"{prefix}_floor_idle_cs_per_s"] = median(f)

    def timeline(prefix, key, label):
        for figure, name, s, nominal, limit in timeline_rows(results, key):
            target = "" if limit is None else f"{nominal:.0f} (≤ {limit:.0f})"
            digits = 1 if figure.endswith("per_s") else 0
            rows.append((f"{label}: {name}", fmt_summary(s, digits=digits), "", "", target,
                         verdict(within(s, nominal, limit))))
            machine_line[f"{prefix}_{figure}"] = median(s)

    if "linux" in results:
        startup("linux", "linux", "gtk_floor", "Linux", 1.05, 2)
    if "instructions" in extra:
        n = extra["instructions"]
        r = ratio(n["program"], n["floor"])
        rows.append(("Linux: instructions to the idle window (M, callgrind)", fmt(n["program"] / 1e6, 1),
                     fmt(n["floor"] / 1e6, 1), fmt(r, 3) + "×", "≤ 1.03× floor",
                     verdict(None if r is None else r <= 1.03)))
        machine_line.update(linux_instructions=n["program"], linux_floor_instructions=n["floor"],
                            linux_instructions_ratio=r)
    if "linux" in results:
        timeline("linux", "linux", "Linux")
    if "xeyes" in results:
        for figure, name in (("map_ms", "start-up to map (ms)"), ("shape_ms", "start-up to shape set (ms)"),
                             ("rss_kb", "RSS 2 s after map (MB)"), ("idle_cs_per_s", "idle wake-ups/s")):
            s, f = col(results, "xeyes", figure), col(results, "gtk_floor", figure)
            scale, digits = (1024, 1) if figure == "rss_kb" else (1, 0 if "ms" in figure else 1)
            rows.append((f"xeyes (reference): {name}", fmt_summary(s, scale, digits),
                         fmt_summary(f, scale, digits), fmt(ratio(median(s), median(f)), 2) + "×", "", ""))
            machine_line[f"xeyes_{figure}"] = median(s)
    if "shakes" in extra:
        sh = extra["shakes"]
        one, many = sh.get("rss_after_1_shake_kb"), sh.get("rss_after_n_shakes_kb")
        growth = None if one is None or many is None else (many - one) / 1024
        n = int(sh.get("shakes_done", options.shakes))
        rows.append((f"Linux: RSS after 1 / {n} shakes (MB)",
                     f"{fmt(one and one / 1024, 1)} / {fmt(many and many / 1024, 1)}", "",
                     ("+" if growth and growth >= 0 else "") + fmt(growth, 2) + " MB", "≤ +1 MB",
                     verdict(None if growth is None else growth <= 1)))
        machine_line.update(linux_rss_after_1_shake_kb=one, linux_rss_after_n_shakes_kb=many,
                            linux_shakes=n)
    if "wine_cold" in extra:
        c = extra["wine_cold"]
        rows.append((f"Wine: cold-prefix first start to map (ms), {c['program']}", fmt(c.get("map_ms")),
                     "", "", "", ""))
        machine_line["wine_cold_map_ms"] = c.get("map_ms")
    if "win_floor" in results:
        if "wine" in results:
            startup("wine", "wine", "win_floor", "Wine", 1.15, 3)
            timeline("wine", "wine", "Wine")
        else:
            startup("wine", "wine_absent", "win_floor", "Wine (omenglobe.exe not built)", 1.15, 3)
    for key, value in sizes.items():
        if value is not None:
            rows.append((f"size: {key.replace('_bytes', '').replace('_', ' ')} (KiB)", fmt(value / 1024, 1),
                         "", "", "", ""))
        machine_line[key] = value
    machine_line["runs"] = options.runs

    headers = ("figure", "program: median [min–max]", "floor: median [min–max]", "vs floor", "target", "")
    widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(len(headers))]
    line = lambda r: " | ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
    print()
    print(line(headers))
    print("-+-".join("-" * w for w in widths))
    for r in rows:
        print(line(r))
    if notes:
        print("\nnotes (how many runs said so):")
        for text, count in count_notes(notes):
            print(f"  {count:3d}× {text}")
    print("BENCH " + json.dumps({k: (round(v, 3 if k.endswith("_ratio") else 1) if isinstance(v, float) else v)
                                 for k, v in machine_line.items()}, ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(main())
