#!/usr/bin/env python3
"""Counts the instructions the program and the bare GTK window each execute
from exec until their window is mapped, shaped, drawn and idle, under
valgrind's callgrind, on a private Xvfb; prints both counts and their ratio.

Both leave at their first idle moment after the map, so the end point is the
same every run and the counts repeat to a fraction of a per cent, where
wall-clock times move by 10-20 %. The program measured is its benchmark
build, omenglobe_exit_when_idle: the same sources as the program people run,
with that end point compiled in (the floor takes it from
OMENGLOBE_QUIT_WHEN_IDLE).

    bench/instructions.py --program build/default/omenglobe_exit_when_idle \\
        --floor build/default/bench/gtk_floor [--max-ratio 1.25] [--keep DIR]

With --max-ratio, exits 1 when program/floor is above it (the CI test).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tools"))
from testsupport import XServer  # noqa: E402

# Callgrind makes a GTK start-up some 50 times slower; this is far above it.
RUN_TIMEOUT_S = 600


def total_instructions(profile_text):
    """The event total of a callgrind profile ('summary:' or 'totals:' line)."""
    for line in profile_text.splitlines():
        key, _, value = line.partition(":")
        if key in ("summary", "totals") and value.strip():
            return int(value.split()[0])
    raise ValueError("the profile has no summary line")


def left_by_quitting_its_loop(profile_text):
    """Whether the main loop ran and was quit: the end point the bench asks
    for, rather than an early exit (no display, another copy running)."""
    return any(line.startswith(("fn=", "cfn=")) and line.rstrip().endswith(" g_main_loop_quit")
               for line in profile_text.splitlines())


def count(label, argv, env, out_dir):
    profile = os.path.join(out_dir, f"callgrind.{label}.out")
    run = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + profile, *argv],
        env=env, capture_output=True, text=True, timeout=RUN_TIMEOUT_S)
    if run.returncode != 0:
        raise RuntimeError(f"{label} exited with {run.returncode}: {run.stderr.strip()[-600:]}")
    with open(profile) as f:
        text = f.read()
    if not left_by_quitting_its_loop(text):
        raise RuntimeError(f"{label} ended without reaching its idle window: "
                           f"{run.stderr.strip()[-600:]}")
    return total_instructions(text)


def measure(program_path, floor_path, keep=None):
    """(program, floor) instruction counts, each from exec to the first idle
    moment after its window is mapped, on a private Xvfb."""
    work = tempfile.mkdtemp(prefix="omenglobe-instructions-")
    out_dir = keep or work
    os.makedirs(out_dir, exist_ok=True)
    xvfb = XServer(1280, 1024)
    try:
        env = {k: v for k, v in os.environ.items() if k not in ("GDK_BACKEND", "DESKTOP_STARTUP_ID")}
        # A runtime directory of its own: no other running copy is found.
        env.update(DISPLAY=xvfb.display, NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=work,
                   OMENGLOBE_QUIT_WHEN_IDLE="1")
        # GDK probes GLX on the first start on a display and leaves its
        # choice of visuals on the root window for every later client: one
        # plain start of each first, so neither count includes the probe
        # and neither finds a page cache the other warmed.
        for argv in ([program_path], [floor_path]):
            subprocess.run(argv, env=env, timeout=120, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        program = count("omenglobe", [program_path], env, out_dir)
        floor = count("floor", [floor_path], env, out_dir)
    finally:
        xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)
    return program, floor


def main(argv=None):
    ap = argparse.ArgumentParser(prog="bench/instructions.py")
    ap.add_argument("--program", required=True,
                    help="the Linux program's benchmark build (omenglobe_exit_when_idle)")
    ap.add_argument("--floor", required=True, help="the bare GTK window (bench/floor/gtk_floor.c)")
    ap.add_argument("--max-ratio", type=float, help="fail when program/floor is above this")
    ap.add_argument("--keep", help="keep the callgrind profiles in this directory")
    options = ap.parse_args(argv)
    if shutil.which("valgrind") is None:
        print("instructions: valgrind is not installed", file=sys.stderr)
        return 2
    program, floor = measure(options.program, options.floor, options.keep)
    r = program / floor
    print(f"instructions: omenglobe {program:,}  floor {floor:,}  ratio {r:.3f}")
    if options.max_ratio is not None and r > options.max_ratio:
        print(f"instructions: the program needs {r:.3f}× the floor's instructions to reach its "
              f"idle window, above the bound {options.max_ratio}×", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
