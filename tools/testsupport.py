"""What the packaging tests, the tools and the bench share about the machine
they run on: whether it can execute 32-bit code, which optional packages
could not be installed, and how a test says it was skipped.

Import it with the tools directory on sys.path:
    sys.path.insert(0, str(Path(__file__).resolve().parents[N] / "tools"))
"""

import functools
import os
import subprocess
import sys
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
