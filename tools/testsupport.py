"""What the packaging tests, the tools and the bench share about the machine
they run on: whether it can execute 32-bit code, which optional packages
could not be installed, how a test says it was skipped, and a private X
server to run a program on.

Import it with the tools directory on sys.path:
    sys.path.insert(0, str(Path(__file__).resolve().parents[N] / "tools"))
"""

import functools
import os
import select
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# CTest's SKIP_RETURN_CODE for the scripts run as tests.
SKIPPED = 77

# Wine's 32-bit loader, the one thing that tells whether 32-bit code runs.
LOADER_32 = "/usr/lib/wine/wine"

# Set (to anything) to make the answer "no" on any machine, to see which
# tests skip and fall back there. Honoured only by the detection helpers.
ASSUME_NO_32BIT = "OMENGLOBE_ASSUME_NO_32BIT"


def skip(reason):
    """Ends the test as skipped, saying why on the line CTest shows."""
    print(f"SKIPPED: {reason}", flush=True)
    sys.exit(SKIPPED)


def package_state_file():
    return Path(os.environ.get("OMENGLOBE_PACKAGE_STATE")
                or ROOT / "build" / "missing-optional-packages")


def missing_optional(group):
    """Why tools/ensure-packages.sh could not install the optional group,
    or None when it did (or was never asked to)."""
    try:
        lines = package_state_file().read_text().splitlines()
    except OSError:
        return None
    for line in lines:
        fields = line.split("\t", 2)
        if len(fields) == 3 and fields[0] == group:
            return f"optional packages {fields[1]} are not installed ({fields[2]})"
    return None


def skip_without(group):
    """Skips the test when the optional group it needs is not installed."""
    reason = missing_optional(group)
    if reason:
        skip(reason)


def loader_problem(argv, timeout=60):
    """Why `argv` (a program asked for its version) cannot run here, or None
    when it runs and answers. Any failure to execute is an answer: a missing
    file or ELF interpreter, "Exec format error", exit status 126 or 127."""
    try:
        probe = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
    except OSError as error:
        return f"{argv[0]}: {error.strerror or error}"
    except subprocess.TimeoutExpired:
        return f"{' '.join(argv)} did not answer within {timeout} s"
    if probe.returncode != 0:
        said = (probe.stderr or probe.stdout).strip().splitlines()
        return f"{' '.join(argv)} exited with status {probe.returncode}" + \
            (f": {said[-1]}" if said else "")
    return None


@functools.cache
def thirty_two_bit_problem():
    """Why this machine cannot run 32-bit code, or None when it can: Wine's
    32-bit loader is tried once per process."""
    if os.environ.get(ASSUME_NO_32BIT):
        return f"{ASSUME_NO_32BIT} is set"
    if not os.path.exists(LOADER_32):
        why = f"{LOADER_32} is not installed"
        missing = missing_optional("wine32")
        return f"{why}: {missing}" if missing else why
    problem = loader_problem([LOADER_32, "--version"])
    return problem


def thirty_two_bit_code_runs():
    return thirty_two_bit_problem() is None


class XServer:
    """A private Xvfb on a display it picks itself (-displayfd), optionally
    with openbox managing it; `display` is the DISPLAY value. Everything it
    started is ended by PID in stop(), or on leaving a `with` block."""

    def __init__(self, width=1024, height=768, window_manager=False, timeout=30):
        self.wm = None
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            self.display = ":" + self._read_display_number(read_end, timeout)
            if window_manager:
                self._start_window_manager(timeout)
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)

    def _read_display_number(self, read_end, timeout):
        number = b""
        deadline = time.monotonic() + timeout
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or self.proc.poll() is not None:
                raise RuntimeError(f"Xvfb reported no display within {timeout} s")
            ready, _, _ = select.select([read_end], [], [], left)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb closed its display pipe without a display")
                number += chunk
        return number.decode().strip()

    def _start_window_manager(self, timeout):
        env = dict(os.environ, DISPLAY=self.display)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A manager announces itself on the root window once it manages the screen.
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                   capture_output=True, text=True)
            if "window id" in probe.stdout:
                return
            if self.wm.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError(f"openbox did not take the display within {timeout} s")

    def stop(self):
        for proc in (self.wm, self.proc):
            if proc is None or proc.poll() is not None:
                continue
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
