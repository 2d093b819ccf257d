#!/usr/bin/env python3
"""The Debian package end to end, as root on a throwaway machine: lintian
on the package and its .changes, `apt-get install ./omenglobe_….deb`, the
installed program started from its menu entry on a private X server (a
shaped window with the entry's WM_CLASS and an icon at several sizes), an
upgrade to a later revision in place, then `apt-get purge` and nothing of
the package left behind.

Installing system-wide is exclusive: a lock file keeps two runs apart."""

import argparse
import ctypes
import ctypes.util
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import support  # noqa: E402
import testsupport  # noqa: E402

APP_ID = "org.omenglobe.Omenglobe"
LOCK_NAME = "omenglobe-package-test.lock"
APT = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=900"]


def run(*argv, **kwargs):
    kwargs.setdefault("timeout", 900)
    result = subprocess.run(argv, capture_output=True, text=True, **kwargs)
    assert result.returncode == 0, \
        f"{' '.join(argv)} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}"
    return result.stdout


def installed_version():
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Status} ${Version}", "omenglobe"],
                            capture_output=True, text=True)
    words = result.stdout.split()
    return words[-1] if result.returncode == 0 and "installed" in words[:3] else None


def is_shaped(display, window):
    """Whether the X server holds a bounding shape for the window."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    xext = ctypes.CDLL(ctypes.util.find_library("Xext"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    assert connection, f"cannot open {display}"
    try:
        shaped = ctypes.c_int()
        clip = ctypes.c_int()
        i = [ctypes.c_int() for _ in range(4)]
        u = [ctypes.c_uint() for _ in range(4)]
        xext.XShapeQueryExtents(
            ctypes.c_void_p(connection), ctypes.c_ulong(int(window, 16)),
            ctypes.byref(shaped), ctypes.byref(i[0]), ctypes.byref(i[1]),
            ctypes.byref(u[0]), ctypes.byref(u[1]), ctypes.byref(clip),
            ctypes.byref(i[2]), ctypes.byref(i[3]), ctypes.byref(u[2]), ctypes.byref(u[3]))
        return bool(shaped.value)
    finally:
        x11.XCloseDisplay(ctypes.c_void_p(connection))


def window_pid(display, window):
    out = run("xprop", "-display", display, "-id", window, "_NET_WM_PID", timeout=30)
    return int(out.split("=")[1])


def launch_from_menu_entry(workdir):
    """Starts the program as a desktop would, through its entry; returns
    the window's (class, icon sizes, shaped) and ends the program."""
    runtime = Path(tempfile.mkdtemp(prefix="runtime ", dir=workdir))
    runtime.chmod(0o700)
    with support.private_x_server() as display:
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=str(runtime))
        env.pop("GDK_BACKEND", None)
        # Not through run(): the program would inherit its pipes and keep
        # them open after gtk-launch itself has ended.
        with tempfile.TemporaryFile("w+") as errors:
            launcher = subprocess.run(["gtk-launch", APP_ID], env=env, timeout=60,
                                      stdout=subprocess.DEVNULL, stderr=errors)
            errors.seek(0)
            assert launcher.returncode == 0, f"gtk-launch: {errors.read()}"
        (window,) = support.wait_for(
            "the window of the installed program",
            lambda: support.x_windows_with_class(display, ("omenglobe", "Omenglobe")), 60)
        pid = window_pid(display, window)
        try:
            found = (support.wm_class_of(display, window),
                     support.icon_sizes_of(display, window), is_shaped(display, window))
        finally:
            # The program gtk-launch started for this test, found by its window.
            os.kill(pid, 15)
            support.wait_for("the program to end", lambda: not Path(f"/proc/{pid}").exists(), 30)
    shutil.rmtree(runtime, ignore_errors=True)
    return found


def later_revision(deb, workdir):
    """The same package as revision -2, repacked, to upgrade to."""
    tree = Path(tempfile.mkdtemp(prefix="later ", dir=workdir))
    run("dpkg-deb", "-R", str(deb), str(tree / "pkg"))
    control = tree / "pkg" / "DEBIAN" / "control"
    control.write_text(control.read_text().replace("\nVersion: 1.0.0-1\n",
                                                   "\nVersion: 1.0.0-2\n"))
    later = tree / deb.name.replace("_1.0.0-1_", "_1.0.0-2_")
    run("dpkg-deb", "--root-owner-group", "-b", str(tree / "pkg"), str(later))
    return later


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb-dir", required=True, type=Path,
                        help="where tools/build-deb.sh put the package")
    parser.add_argument("--workdir", required=True, type=Path)
    args = parser.parse_args()
    testsupport.skip_without("deb")
    if os.geteuid() != 0:
        testsupport.skip("the Debian package test installs and purges a package system-wide "
                     "and must run as root (as CI does); it did NOT run")
    (deb,) = args.deb_dir.glob("omenglobe_*_amd64.deb")
    (changes,) = args.deb_dir.glob("omenglobe_*_amd64.changes")
    args.workdir.mkdir(parents=True, exist_ok=True)

    lint = subprocess.run(["lintian", "--fail-on", "error,warning", str(changes), str(deb)],
                          capture_output=True, text=True, timeout=600)
    assert lint.returncode == 0, f"lintian:\n{lint.stdout}{lint.stderr}"

    lock_dir = "/run/lock" if os.path.isdir("/run/lock") else tempfile.gettempdir()
    lock = os.open(os.path.join(lock_dir, LOCK_NAME), os.O_RDWR | os.O_CREAT | os.O_NOFOLLOW, 0o600)
    try:
        fcntl.flock(lock, fcntl.LOCK_EX)
        assert installed_version() is None, \
            "omenglobe is already installed here; this test installs and purges it"
        try:
            # "./": a file, not a package name. Its dependencies (the font
            # among them) are installed already where test.sh ran.
            run(*APT, "install", f"./{deb.name}", cwd=deb.parent)
            assert installed_version() == deb.name.split("_")[1], "not installed"
            files = [Path(p) for p in run("dpkg-query", "-L", "omenglobe").split()]
            own = [p for p in files if p.is_file() or p.is_symlink()]
            assert Path("/usr/bin/omenglobe") in own
            assert Path(f"/usr/share/applications/{APP_ID}.desktop") in own

            entry = Path(f"/usr/share/applications/{APP_ID}.desktop").read_text()
            startup_class = next(line.split("=", 1)[1] for line in entry.splitlines()
                                 if line.startswith("StartupWMClass="))
            wm_class, icon_sizes, shaped = launch_from_menu_entry(args.workdir)
            assert wm_class and wm_class[1] == startup_class, \
                f"WM_CLASS {wm_class}, the entry's StartupWMClass {startup_class}"
            assert shaped, "the window is not shaped"
            assert len(icon_sizes) >= 2 and (256, 256) in icon_sizes and \
                (16, 16) in icon_sizes, f"icon sizes: {icon_sizes}"

            # A later revision of the package replaces this one in place.
            later = later_revision(deb, args.workdir)
            run(*APT, "install", f"./{later.name}", cwd=later.parent)
            shutil.rmtree(later.parent)
            assert installed_version() == later.name.split("_")[1], "not upgraded"
            files_after = [Path(p) for p in run("dpkg-query", "-L", "omenglobe").split()]
            assert files_after == files, "the upgrade changed what the package holds"
        finally:
            purge = subprocess.run([*APT, "purge", "omenglobe"], capture_output=True,
                                   text=True, timeout=900)
        assert purge.returncode == 0, purge.stderr
        assert installed_version() is None, "still installed after purge"
        left = [p for p in own if p.exists() or p.is_symlink()]
        assert not left, f"left behind by purge: {left}"
        assert not Path("/usr/share/doc/omenglobe").exists()
    finally:
        os.close(lock)
    print(f"{deb.name}: lintian clean, installed, started from its menu entry, upgraded, purged: ok")


if __name__ == "__main__":
    main()
