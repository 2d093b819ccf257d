#!/usr/bin/python3
"""Runs the Linux program under valgrind's memcheck through the cases where
widgets go away under it, on a private Xvfb, and fails on any invalid read,
write or free whose stack holds a frame of ours.

Freed GObjects are read inside GLib, where AddressSanitizer does not look
(GLib is not instrumented); memcheck sees every access. Errors wholly inside
the libraries are listed but do not fail the run.

    tools/valgrind-memcheck.py [build/default/omenglobe]

Needs valgrind, Xvfb and xdotool. Exit status 0 when every case is clean.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from testsupport import XServer  # noqa: E402

BAD_KINDS = {"InvalidRead", "InvalidWrite", "InvalidFree", "MismatchedFree", "InvalidJump"}

# Window-relative centres of the buttons at 96 dpi.
SHAKE = (188, 264)
HELP = (176, 300)
EXIT = (200, 300)


def xdotool(display, *args, check=True):
    return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=display),
                          capture_output=True, text=True, check=check).stdout.strip()


def wait_for(what, predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise TimeoutError("timed out waiting for " + what)


def find_window(display, name):
    out = xdotool(display, "search", "--onlyvisible", "--name", "^" + name + "$", check=False)
    return out.split()[0] if out else None


def click(display, window, point):
    geometry = dict(line.split("=") for line in
                    xdotool(display, "getwindowgeometry", "--shell", window).splitlines())
    x, y = int(geometry["X"]) + point[0], int(geometry["Y"]) + point[1]
    xdotool(display, "mousemove", str(x), str(y))
    time.sleep(0.2)
    xdotool(display, "click", "1")


def ours(frame, binary):
    # Everything of ours is linked into the program's own file.
    return os.path.realpath(frame.findtext("obj") or "") == os.path.realpath(binary)


def describe(frame):
    where = frame.findtext("file")
    line = frame.findtext("line")
    place = f"{where}:{line}" if where else frame.findtext("obj") or "?"
    return f"{frame.findtext('fn') or '?'} ({place})"


def run_case(binary, name, actions, workdir):
    server = XServer()
    display = server.display
    xml_file = os.path.join(workdir, name.replace(" ", "-") + ".xml")
    env = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=workdir)
    env.pop("GDK_BACKEND", None)
    program = subprocess.Popen(["valgrind", "--tool=memcheck", "--xml=yes",
                                "--xml-file=" + xml_file, "--num-callers=40",
                                "--suppressions=" + os.path.join(ROOT, "tools", "valgrind.supp"),
                                binary],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started = time.monotonic()
    try:
        window = wait_for("the window", lambda: find_window(display, "Kelvra"), 120)
        time.sleep(1)  # the first paint, slow under valgrind
        actions(display, window)
        try:
            status = program.wait(timeout=60)
        except subprocess.TimeoutExpired:
            # A program that outlives its window is the fault itself; SIGTERM
            # lets valgrind finish its report.
            status = "still running a minute later"
            program.terminate()
            program.wait(timeout=60)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        server.stop()
    seconds = time.monotonic() - started

    ours_bad, theirs = [], 0
    with open(xml_file, encoding="utf-8", errors="replace") as f:
        text = f.read()
    if "</valgrindoutput>" not in text:
        text += "</valgrindoutput>"
    for error in ET.fromstring(text).iter("error"):
        kind = error.findtext("kind")
        frames = error.findall("./stack/frame")
        if kind in BAD_KINDS and any(ours(f, binary) for f in frames):
            ours_bad.append((kind, error.findtext("./what") or "", frames))
        else:
            theirs += 1
    print(f"{name}: exit status {status}, {seconds:.1f} s, {len(ours_bad)} invalid accesses "
          f"through our code, {theirs} other reports inside the libraries")
    for kind, what, frames in ours_bad:
        print(f"  {kind}: {what}")
        for frame in frames[:12]:
            print("    " + describe(frame))
    return status == 0 and not ours_bad


def main():
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                             else os.path.join(ROOT, "build", "default", "omenglobe"))
    for tool in ("valgrind", "Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing")

    def destroy_mid_fade(display, window):
        click(display, window, SHAKE)
        time.sleep(1)  # the sweep and the first fade ticks, slow under valgrind
        xdotool(display, "windowclose", window)

    def destroy_with_help_open(display, window):
        click(display, window, HELP)
        wait_for("the help box", lambda: find_window(display, "Derirozuvi"), 60)
        xdotool(display, "windowclose", window)

    def exit_with_help_open(display, window):
        click(display, window, EXIT)
        click(display, window, HELP)
        wait_for("the help box", lambda: find_window(display, "Derirozuvi"), 60)

    cases = [("window destroyed mid-fade", destroy_mid_fade),
             ("window destroyed with the help box open", destroy_with_help_open),
             ("exit with the help box open", exit_with_help_open)]
    with tempfile.TemporaryDirectory(prefix="omenglobe-memcheck-") as workdir:
        os.chmod(workdir, 0o700)
        results = [run_case(binary, name, actions, workdir) for name, actions in cases]
    sys.exit(0 if all(results) else 1)


if __name__ == "__main__":
    main()
