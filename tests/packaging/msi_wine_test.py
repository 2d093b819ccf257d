#!/usr/bin/env python3
"""The Windows Installer package under Wine, in a prefix of its own on a
private X server: install, what it put where, the installed program's
window, installing again, upgrading to a later version, uninstalling."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import support  # noqa: E402
import testsupport  # noqa: E402

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


class Wine:
    def __init__(self, prefix, display):
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win32",
                        WINEDEBUG="-all", DISPLAY=display,
                        # No offer to install Mono or Gecko.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = Path(prefix)

    def run(self, *args, timeout=300):
        return subprocess.run(["wine", *args], env=self.env, timeout=timeout,
                              capture_output=True, text=True)

    def start(self, *args):
        return subprocess.Popen(["wine", *args], env=self.env,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def msiexec(self, *args):
        result = self.run("msiexec", *args, "/qn")
        assert result.returncode == 0, \
            f"msiexec {' '.join(args)} failed ({result.returncode}): {result.stderr}"

    def uninstall_entries(self):
        """{subkey: {value name: data}} of the Add/Remove Programs entries
        whose DisplayName is Omenglobe."""
        out = self.run("reg", "query", UNINSTALL, "/s").stdout
        entries = {}
        current = None
        for line in out.splitlines():
            if line.startswith("HKEY_"):
                current = line.rsplit("\\", 1)[1]
                entries[current] = {}
            elif current and line.startswith("    "):
                parts = line.split(None, 2)
                if len(parts) == 3:
                    entries[current][parts[0]] = parts[2]
        return {k: v for k, v in entries.items()
                if v.get("DisplayName") == "Omenglobe"}

    def values(self, key):
        out = self.run("reg", "query", key).stdout
        return {parts[0]: parts[2] for parts in
                (line.split(None, 2) for line in out.splitlines()
                 if line.startswith("    ")) if len(parts) == 3}

    def key_exists(self, key):
        return self.run("reg", "query", key).returncode == 0

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)


def packed_guid(guid):
    """The registry's form of a product code: each group reversed."""
    hexes = guid.strip("{}").split("-")
    tail = "".join(h[i:i + 2][::-1] for h in hexes[3:] for i in range(0, len(h), 2))
    return hexes[0][::-1] + hexes[1][::-1] + hexes[2][::-1] + tail


def build_later_version(wxs, exe, ico, workdir):
    """The same package as version 1.0.1 (a new product code), to upgrade to."""
    stage = Path(workdir) / "stage-1.0.1"
    stage.mkdir()
    shutil.copy(exe, stage / "omenglobe.exe")
    shutil.copy(ico, stage / "omenglobe.ico")
    out = Path(workdir) / "omenglobe-1.0.1.msi"
    subprocess.run(["wixl", "--arch", "x86", "-D", "Version=1.0.1",
                    "-D", f"ProductCode={str(uuid.uuid4()).upper()}",
                    "-D", "ProgramExe=omenglobe.exe",
                    "-D", "ProgramIcon=omenglobe.ico", "-o", str(out),
                    str(wxs)], cwd=stage, check=True, timeout=120)
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True, type=Path)
    parser.add_argument("--wxs", required=True, type=Path)
    parser.add_argument("--exe", required=True, type=Path)
    parser.add_argument("--ico", required=True, type=Path)
    parser.add_argument("--workdir", required=True, type=Path)
    args = parser.parse_args()
    for name in ("msi", "wxs", "exe", "ico", "workdir"):
        setattr(args, name, getattr(args, name).resolve())
    testsupport.skip_without("msi")
    # The package installs a 32-bit program, which only 32-bit Wine runs; some
    # kernels cannot execute 32-bit code at all.
    problem = testsupport.thirty_two_bit_problem()
    if problem:
        testsupport.skip(f"32-bit code cannot run on this machine ({problem}); "
                         "the installer was not tested under Wine")
    for tool in ("wine", "wixl", "Xvfb", "xprop", "xwininfo"):
        if shutil.which(tool) is None:
            raise AssertionError(f"{tool} is not installed")

    args.workdir.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp(prefix="msi test ", dir=args.workdir))
    prefix = work / "prefix"
    with support.private_x_server() as display:
        wine = Wine(prefix, display)
        try:
            booted = wine.run("wineboot", "--init", timeout=600)
            assert booted.returncode == 0, f"wineboot failed: {booted.stderr}"
            drive_c = prefix / "drive_c"
            folder = drive_c / "Program Files" / "Omenglobe"
            # Windows puts a per-machine shortcut into the common Start menu;
            # Wine resolves ProgramMenuFolder to the user's whatever ALLUSERS
            # says. Either is accepted here; it must be in exactly one.
            programs = [
                drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs",
                drive_c / "users" / os.environ.get("USER", "root") / "AppData" /
                "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs"]
            shortcuts = [p / "Omenglobe.lnk" for p in programs]

            # Install: the program, its shortcut, its uninstall entry.
            wine.msiexec("/i", str(args.msi))
            installed = folder / "omenglobe.exe"
            assert installed.read_bytes() == args.exe.read_bytes(), \
                "the installed program is not the one built"
            present = [p for p in shortcuts if p.is_file()]
            assert len(present) == 1, f"Start-menu shortcuts: {present}"
            shortcut = present[0]
            link = shortcut.read_bytes().lower()

            def names(text):  # a .lnk holds paths in ANSI or in UTF-16
                return text.encode("ascii") in link or text.encode("utf-16-le") in link
            assert names("c:\\program files\\omenglobe\\omenglobe.exe"), \
                "the shortcut does not start the installed program"
            icon = next((p for p in (drive_c / "windows" / "Installer").glob("*/omenglobe.ico")), None)
            assert icon is not None and icon.read_bytes() == args.ico.read_bytes(), \
                "the program's icon was not installed for the shortcut and entry"
            assert names(f"\\{icon.parent.name.lower()}\\omenglobe.ico"), \
                "the shortcut does not show the program's icon"
            entries = wine.uninstall_entries()
            assert len(entries) == 1, f"uninstall entries: {entries}"
            ((product, entry),) = entries.items()
            assert entry.get("DisplayVersion") == "1.0.0", entry
            assert entry.get("Publisher") == "The Omenglobe developers", entry
            # Add/Remove Programs shows the icon that Windows Installer keeps
            # with the product's registration, for every user.
            registration = wine.values(
                rf"HKLM\Software\Classes\Installer\Products\{packed_guid(product)}")
            assert registration.get("ProductIcon", "").lower() == \
                f"c:\\windows\\installer\\{product.lower()}\\omenglobe.ico", registration

            # The installed program starts and shows its window.
            program = wine.start(r"C:\Program Files\Omenglobe\omenglobe.exe")
            try:
                support.wait_for(
                    "the installed program's window",
                    lambda: support.x_windows_with_class(
                        display, ("omenglobe.exe", "omenglobe.exe")), 120)
            finally:
                program.kill()
                program.wait(timeout=60)

            # Installing the same package again leaves one installation.
            wine.msiexec("/i", str(args.msi))
            assert len(wine.uninstall_entries()) == 1

            # A later version replaces this one in place.
            later = build_later_version(args.wxs, args.exe, args.ico, work)
            wine.msiexec("/i", str(later))
            entries = wine.uninstall_entries()
            assert [e.get("DisplayVersion") for e in entries.values()] == ["1.0.1"], \
                f"after the upgrade: {entries}"
            (later_product,) = entries
            assert installed.is_file() and shortcut.is_file()

            # Uninstalling removes everything the package added.
            wine.msiexec("/x", str(later))
            leftovers = [p for p in (installed, folder, shortcut, icon) if p.exists()]
            assert not leftovers, f"left after uninstalling: {leftovers}"
            assert not wine.uninstall_entries(), "the uninstall entry remains"
            for code in (product, later_product):
                assert not wine.key_exists(
                    rf"HKLM\Software\Classes\Installer\Products\{packed_guid(code)}"), \
                    f"the registration of {code} remains"
            assert not wine.key_exists(r"HKLM\Software\Omenglobe"), \
                "the registry key HKLM\\Software\\Omenglobe remains"
        finally:
            wine.stop()
    shutil.rmtree(work, ignore_errors=True)
    print("installer under Wine: install, window, reinstall, upgrade, uninstall: ok")


if __name__ == "__main__":
    sys.exit(main())
